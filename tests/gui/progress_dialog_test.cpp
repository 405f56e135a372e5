// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/progress_dialog.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include "widget_test_support.h"

using morrowtide::gui::ProgressDialog;

class ProgressDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void createdHiddenWithItsControls();
    void runPhases();
    void noFilesBarStandsFull();
    void stopDuringRunHidesAtOnce();
    void escapeAndTitleBarDoNotClose();
    void showLogIsModalUntilClose();
    void showLogDuringRunOnlyRaises();
    void resetEmptiesLogButKeepsButton();
};

using morrowtide::test::child;

namespace {

QStringList logLines(QWidget& dialog) {
    const QString text = child<QPlainTextEdit>(dialog, "Log")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

}  // namespace

void ProgressDialogTest::createdHiddenWithItsControls() {
    ProgressDialog dialog;
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Building list of images"));
    auto* log = child<QPlainTextEdit>(dialog, "Log");
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(child<QPushButton>(dialog, "btnStop")->text(), QStringLiteral("Stop"));
    QCOMPARE(child<QProgressBar>(dialog, "ProgressBar1")->minimum(), 0);
    dialog.show();
    QVERIFY(child<QProgressBar>(dialog, "ProgressBar1")->isHidden());
    QVERIFY(child<QStatusBar>(dialog, "StatusBar1")->isHidden());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

void ProgressDialogTest::runPhases() {
    ProgressDialog dialog;
    dialog.reset();
    dialog.showDuringRun();
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
    dialog.startProcessing(3);
    auto* bar = child<QProgressBar>(dialog, "ProgressBar1");
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 3);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Processing Images..."));
    dialog.fileDone(QStringLiteral("/out/a.jpg"));
    dialog.fileDone(QStringLiteral(".jpg"));
    QCOMPARE(bar->value(), 2);
    QCOMPARE(logLines(dialog), (QStringList{"/out/a.jpg", ".jpg"}));
    dialog.finishRun();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Files Processed"));
    QCOMPARE(child<QPushButton>(dialog, "btnStop")->text(), QStringLiteral("Finished"));
    dialog.closeAfterRun();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(logLines(dialog).size(), 2);
}

void ProgressDialogTest::noFilesBarStandsFull() {
    ProgressDialog dialog;
    dialog.showDuringRun();
    auto* bar = child<QProgressBar>(dialog, "ProgressBar1");
    // Nothing found: a full bar, not the endless "busy" one (maximum 0).
    dialog.startProcessing(0);
    QVERIFY(bar->isVisible());
    QVERIFY(bar->maximum() > bar->minimum());
    QCOMPARE(bar->value(), bar->maximum());
    // The next run with photos starts from an empty bar again.
    dialog.startProcessing(4);
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 0);
}

void ProgressDialogTest::stopDuringRunHidesAtOnce() {
    ProgressDialog dialog;
    dialog.showDuringRun();
    dialog.startProcessing(5);
    QSignalSpy clicked(&dialog, &ProgressDialog::stopClicked);
    QVERIFY(!dialog.stopRequested());
    QTest::mouseClick(child<QPushButton>(dialog, "btnStop"), Qt::LeftButton);
    QVERIFY(dialog.stopRequested());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(clicked.count(), 1);
    dialog.clearStopRequest();
    QVERIFY(!dialog.stopRequested());
}

void ProgressDialogTest::escapeAndTitleBarDoNotClose() {
    ProgressDialog dialog;
    dialog.showDuringRun();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    // A close request through the window system (title bar, window manager) is refused too.
    QVERIFY(!dialog.windowHandle()->close());
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.stopRequested());
}

void ProgressDialogTest::showLogIsModalUntilClose() {
    ProgressDialog dialog;
    dialog.fileDone(QStringLiteral("/out/one.jpg"));
    bool sawModal = false;
    QString caption;
    QString button;
    QTimer::singleShot(0, &dialog, [&] {
        sawModal = dialog.isModal() && dialog.isVisible() && dialog.isShowingLog();
        caption = dialog.windowTitle();
        button = child<QPushButton>(dialog, "btnStop")->text();
        QTest::mouseClick(child<QPushButton>(dialog, "btnStop"), Qt::LeftButton);
    });
    dialog.showLog();  // returns when "Close" was clicked
    QVERIFY(sawModal);
    QCOMPARE(caption, QStringLiteral("Files Processed"));
    QCOMPARE(button, QStringLiteral("Close"));
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.isShowingLog());
    QCOMPARE(logLines(dialog), QStringList{"/out/one.jpg"});
}

void ProgressDialogTest::showLogDuringRunOnlyRaises() {
    ProgressDialog dialog;
    dialog.showDuringRun();
    dialog.startProcessing(2);
    dialog.showLog();  // must return at once, without a modal display
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isShowingLog());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Processing Images..."));
    QCOMPARE(child<QPushButton>(dialog, "btnStop")->text(), QStringLiteral("Stop"));
}

void ProgressDialogTest::resetEmptiesLogButKeepsButton() {
    ProgressDialog dialog;
    dialog.startProcessing(1);
    dialog.fileDone(QStringLiteral("x.jpg"));
    dialog.finishRun();
    dialog.reset();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Building list of images"));
    QVERIFY(logLines(dialog).isEmpty());
    QCOMPARE(child<QPushButton>(dialog, "btnStop")->text(), QStringLiteral("Finished"));
}

QTEST_MAIN(ProgressDialogTest)
#include "progress_dialog_test.moc"
