// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run's host in the program window: options read from the widgets, questions and errors in message boxes,
// progress in the progress dialog, and the event loop pumped between files so the window stays usable.
#pragma once

#include <QString>

#include "app/batch_host.h"
#include "app/stop_signals.h"

namespace morrowtide::gui {

class MainWindow;
class MessageBoxes;
class ProgressDialog;

class GuiBatchHost : public app::BatchHost {
  public:
    GuiBatchHost(MainWindow& window, ProgressDialog& progress, MessageBoxes& boxes);
    ~GuiBatchHost() override;
    GuiBatchHost(const GuiBatchHost&) = delete;
    GuiBatchHost& operator=(const GuiBatchHost&) = delete;

    app::RunOptions currentOptions() override;
    bool confirmOverwrite() override;
    void runReset() override;
    void invalidSource(const QString& message) override;
    void listingStarted() override;
    void listBuilt(int count) override;
    void fileStarted(const QString& sourcePath) override;
    void fileError(const QString& message) override;
    void logNote(const QString& line) override;
    void fileDone(const QString& logLine) override;
    void breathe() override;
    bool stopRequested() override;
    void runFinished(const app::RunSummary& summary) override;

    bool finished() const { return finished_; }

  private:
    void setBusy(bool busy);

    MainWindow& window_;
    ProgressDialog& progress_;
    MessageBoxes& boxes_;
    // SIGTERM and SIGHUP (a session ending) act as the Stop button while the run goes on.
    app::StopSignals stopSignals_;
    bool busy_ = false;
    bool finished_ = false;
    QString currentFile_;   // the source path of the file in hand
    QString failure_;       // its error, for its log line; empty when it went through
    bool quietErrors_ = false;  // "Don't show again in this run" was ticked
};

}  // namespace morrowtide::gui
