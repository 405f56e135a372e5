// SPDX-License-Identifier: GPL-3.0-or-later
// The progress dialog: phase caption, a log line per file, a progress bar and one button that stops the run and
// later closes the dialog. Created once, hidden, and shown again with the last log through "Show &Log".
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace morrowtide::gui {

class ProgressDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ProgressDialog(QWidget* parent = nullptr);

    // Caption "Building list of images", log emptied.
    void reset();
    // Shown without being modal, for the duration of a run.
    void showDuringRun();
    // The list is built: bar maximum = count at position 0 and visible, button "Stop", caption "Processing Images...".
    void startProcessing(int count);
    // One file handled: the bar advances and the line is logged.
    void fileDone(const QString& logLine);
    // Button "Finished", caption "Files Processed".
    void finishRun();
    // Hidden after a run; the log is kept.
    void closeAfterRun();
    // The log of the last run, modally: button "Close", caption "Files Processed"; returns when "Close" is clicked.
    // While a run has the dialog on screen this only brings it to the front.
    void showLog();

    // Set by the button whatever its caption; cleared by every run when it starts.
    bool stopRequested() const { return stopRequested_; }
    void clearStopRequest() { stopRequested_ = false; }

    QPlainTextEdit* log() const { return log_; }
    QPushButton* stopButton() const { return btnStop_; }
    QStatusBar* statusBar() const { return statusBar_; }
    bool isShowingLog() const { return showingLog_; }

  signals:
    // Emitted after the dialog was closed by its button.
    void stopClicked();

  protected:
    void reject() override;

  private:
    void onStopClicked();

    QPlainTextEdit* log_;
    QProgressBar* progressBar_;
    QPushButton* btnStop_;
    QStatusBar* statusBar_;
    bool stopRequested_ = false;
    bool showingLog_ = false;
};

}  // namespace morrowtide::gui
