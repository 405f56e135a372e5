// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/progress_dialog.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace morrowtide::gui {

ProgressDialog::ProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      log_(new QPlainTextEdit(this)),
      progressBar_(new QProgressBar(this)),
      btnStop_(new QPushButton(tr("Stop"), this)),
      statusBar_(new QStatusBar(this)) {
    setObjectName(QStringLiteral("dProgress"));

    log_->setObjectName(QStringLiteral("Log"));
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Greyed like a disabled field, so it reads as a record rather than something to type into.
    QPalette greyed = log_->palette();
    greyed.setColor(QPalette::Base, greyed.color(QPalette::Window));
    log_->setPalette(greyed);

    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setMinimum(0);
    progressBar_->setMaximum(0);
    progressBar_->setTextVisible(false);
    progressBar_->setVisible(false);
    // Keep the room for the bar while it is hidden, so the button does not jump when it appears.
    QSizePolicy keepRoom = progressBar_->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    progressBar_->setSizePolicy(keepRoom);

    btnStop_->setObjectName(QStringLiteral("btnStop"));
    connect(btnStop_, &QPushButton::clicked, this, &ProgressDialog::onStopClicked);

    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(false);
    statusBar_->setVisible(false);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(btnStop_);
    buttonRow->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 1);
    layout->addWidget(progressBar_);
    layout->addLayout(buttonRow);
    layout->addWidget(statusBar_);

    setFixedSize(640, 380);
    reset();
}

void ProgressDialog::reset() {
    setWindowTitle(tr("Building list of images"));
    log_->clear();
}

void ProgressDialog::showDuringRun() {
    setModal(false);
    show();
    raise();
}

void ProgressDialog::startProcessing(int count) {
    // A bar with maximum 0 shows the "busy" animation; with nothing to do the bar stands full instead.
    progressBar_->setMaximum(count > 0 ? count : 1);
    progressBar_->setValue(count > 0 ? 0 : 1);
    progressBar_->setVisible(true);
    btnStop_->setText(tr("Stop"));
    setWindowTitle(tr("Processing Images..."));
}

void ProgressDialog::fileDone(const QString& logLine) {
    progressBar_->setValue(progressBar_->value() + 1);
    log_->appendPlainText(logLine);
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void ProgressDialog::finishRun() {
    btnStop_->setText(tr("Finished"));
    setWindowTitle(tr("Files Processed"));
}

void ProgressDialog::closeAfterRun() {
    hide();
}

void ProgressDialog::showLog() {
    if (isVisible()) {
        // A run has the dialog on screen already: no second, modal display that would stall the run.
        raise();
        activateWindow();
        return;
    }
    btnStop_->setText(tr("Close"));
    setWindowTitle(tr("Files Processed"));
    showingLog_ = true;
    exec();
    showingLog_ = false;
}

void ProgressDialog::onStopClicked() {
    stopRequested_ = true;
    if (showingLog_) {
        done(QDialog::Accepted);
    } else {
        hide();
    }
    emit stopClicked();
}

void ProgressDialog::reject() {
    // Neither Escape nor a close request from the window manager (QDialog turns both into reject()) closes the
    // dialog: the button is the only way out.
}

}  // namespace morrowtide::gui
