// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gui_batch_host.h"

#include <QPlainTextEdit>

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QStatusBar>

#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/progress_dialog.h"

namespace morrowtide::gui {

GuiBatchHost::GuiBatchHost(MainWindow& window, ProgressDialog& progress, MessageBoxes& boxes)
    : window_(window), progress_(progress), boxes_(boxes) {}

// The pointer comes back however the run ends, an escaping error included.
GuiBatchHost::~GuiBatchHost() {
    setBusy(false);
}

void GuiBatchHost::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

app::RunOptions GuiBatchHost::currentOptions() {
    return window_.currentOptions();
}

bool GuiBatchHost::confirmOverwrite() {
    return boxes_.askYesNoWarning(
        &window_, QCoreApplication::translate("GuiBatchHost", "Are you sure you overwrite original images"));
}

void GuiBatchHost::runReset() {
    progress_.reset();
    setBusy(true);
    progress_.clearStopRequest();
}

void GuiBatchHost::invalidSource(const QString& message) {
    setBusy(false);
    const QString shown = QCoreApplication::translate("morrowtide::app::BatchRun", message.toUtf8().constData());
    progress_.statusBar()->showMessage(shown);
    // The status line is never shown, so the user hears about the folder here.
    boxes_.show(&window_, {MessageKind::Error, QCoreApplication::translate("MessageBoxes", "Error"),
                           shown + QStringLiteral("\n\n") + window_.currentOptions().sourceFolder, MessageButtons::Ok});
}

void GuiBatchHost::listingStarted() {
    progress_.showDuringRun();
    breathe();
}

void GuiBatchHost::listBuilt(int count) {
    progress_.startProcessing(count);
    breathe();
}

void GuiBatchHost::fileStarted(const QString& sourcePath) {
    currentFile_ = sourcePath;
    failure_.clear();
}

void GuiBatchHost::fileError(const QString& message) {
    failure_ = message.isEmpty() ? QStringLiteral("Unknown error") : message;
    if (quietErrors_) return;
    // A normal pointer while the box waits for the user; busy again when the run goes on.
    setBusy(false);
    QString text = message;
    if (!currentFile_.isEmpty()) text += QStringLiteral("\n\n") + QDir::toNativeSeparators(currentFile_);
    quietErrors_ = boxes_.fileError(progress_.isVisible() ? static_cast<QWidget*>(&progress_) : &window_, text);
    setBusy(true);
}

void GuiBatchHost::logNote(const QString& line) {
    progress_.log()->appendPlainText(line);
}

void GuiBatchHost::fileDone(const QString& logLine) {
    if (failure_.isEmpty()) {
        progress_.fileDone(logLine);
        return;
    }
    // A file that failed before its name was formed has no output path: its source names it instead.
    const bool noPath = logLine == QStringLiteral(".jpg") && !currentFile_.isEmpty();
    const QString reason = failure_.simplified();
    progress_.fileDone((noPath ? QDir::toNativeSeparators(currentFile_) : logLine) +
                       QStringLiteral(" \u2014 not written: ") + reason);
    failure_.clear();
}

void GuiBatchHost::breathe() {
    QCoreApplication::processEvents();
}

bool GuiBatchHost::stopRequested() {
    return progress_.stopRequested() || app::StopSignals::caught() != 0;
}

void GuiBatchHost::runFinished(const app::RunSummary& summary) {
    setBusy(false);
    progress_.finishRun();
    QWidget* parent = progress_.isVisible() ? static_cast<QWidget*>(&progress_) : &window_;
    if (summary.kind == app::SummaryKind::Warning) {
        boxes_.warning(parent, summary.text);
    } else {
        boxes_.information(parent, summary.text);
    }
    progress_.closeAfterRun();
    window_.enableShowLog();
    finished_ = true;
}

}  // namespace morrowtide::gui
