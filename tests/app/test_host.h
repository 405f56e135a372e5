// SPDX-License-Identifier: GPL-3.0-or-later
// A batch host for tests of the run: records every callback, answers and stops as told.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/batch_host.h"
#include "app/photo_plan.h"

namespace morrowtide::test {

using app::BatchHost;
using app::PhotoPlan;
using app::RunOptions;
using app::RunSummary;

// Records every callback; answers and stops as told.
class TestHost : public BatchHost {
  public:
    RunOptions options;
    bool answer = true;
    int stopAtOptionsCall = -1;  // stop once currentOptions() has been called this often
    bool stopAtOnce = false;
    std::function<void(int call, RunOptions&)> onOptions;

    std::vector<std::string> events;
    std::vector<QString> errors;
    QStringList log;
    QStringList started;
    QStringList notes;
    int optionsCalls = 0;
    bool stop = false;

    RunOptions currentOptions() override {
        ++optionsCalls;
        if (onOptions) onOptions(optionsCalls, options);
        if (optionsCalls == stopAtOptionsCall) stop = true;
        return options;
    }
    bool confirmOverwrite() override {
        events.push_back("confirm");
        return answer;
    }
    void runReset() override {
        events.push_back("reset");
        stop = stopAtOnce;
    }
    void invalidSource(const QString& message) override { events.push_back("invalid:" + message.toStdString()); }
    void listingStarted() override { events.push_back("listing"); }
    void listBuilt(int count) override { events.push_back("listed:" + std::to_string(count)); }
    void fileStarted(const QString& sourcePath) override { started << sourcePath; }
    void fileError(const QString& message) override { errors.push_back(message); }
    void logNote(const QString& line) override { notes << line; }
    void fileDone(const QString& logLine) override { log << logLine; }
    // A dry run's plans: output below the destination, then the note.
    void filePlanned(const PhotoPlan& plan) override { planned << plan.relativeOutput + u'\t' + plan.note(); }
    QStringList planned;
    void breathe() override {}
    bool stopRequested() override { return stop; }
    void runFinished(const RunSummary& summary) override { events.push_back("finished:" + summary.text.toStdString()); }
};

}  // namespace morrowtide::test
