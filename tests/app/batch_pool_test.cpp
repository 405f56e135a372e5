// SPDX-License-Identifier: GPL-3.0-or-later
// A run on several workers against the same run on one: the same callbacks in the same order, the same names and
// the same bytes, and a Stop that finishes exactly the photos it started.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <filesystem>
#include <limits>
#include <set>
#include <string>

#include "app/batch_run.h"
#include "support/exif_builder.h"
#include "support/file_tree.h"
#include "support/run_tree.h"
#include "test_host.h"

using namespace morrowtide::app;
using morrowtide::test::TempDir;
using morrowtide::test::TestHost;
using TreeSnapshot = std::map<std::string, morrowtide::test::TimedFile>;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

// Records every callback of a file in the order made, with the run's own folders written as SRC and DST so that two
// runs over two copies of a tree can be compared; stops once `stopAfterDone` files are done.
class SequenceHost : public TestHost {
  public:
    QString source;
    QString destination;
    std::size_t stopAfterDone = std::numeric_limits<std::size_t>::max();
    QStringList sequence;
    RunSummary summary;

    void fileStarted(const QString& path) override {
        TestHost::fileStarted(path);
        add("start", path);
    }
    void planMade(const PhotoPlan& plan) override { add("plan", plan.relativeOutput + u' ' + plan.note()); }
    void filePlanned(const PhotoPlan& plan) override {
        TestHost::filePlanned(plan);
        add("planned", plan.relativeOutput);
    }
    void fileError(const QString& message) override {
        TestHost::fileError(message);
        add("error", message);
    }
    void fileNotCorrected(const QString& note, bool outOfRange) override {
        add(outOfRange ? "out of range" : "not corrected", note);
    }
    void logNote(const QString& line) override {
        TestHost::logNote(line);
        add("note", line);
    }
    void fileDone(const QString& line) override {
        TestHost::fileDone(line);
        add("done", line);
    }
    bool stopRequested() override { return static_cast<std::size_t>(log.size()) >= stopAfterDone; }
    void runFinished(const RunSummary& finished) override { summary = finished; }

  private:
    void add(const char* what, QString text) {
        // The destination first: in place it is the source too.
        text.replace(destination, QStringLiteral("DST")).replace(source, QStringLiteral("SRC"));
        sequence << QString::fromLatin1(what) + QStringLiteral(": ") + text;
    }
};

// Replace: no auto rename and no old name in the new one, so photos of the same second write over each other.
enum class Mode { Copy, DryRun, InPlace, Replace };

struct PoolCase {
    const char* name;
    Mode mode;
    int jobs;
};

class BatchPool : public ::testing::TestWithParam<PoolCase> {
  protected:
    // A fresh copy of the tree under `name`, run with `jobs` workers; the tree the run wrote (or, in place, changed).
    TreeSnapshot runOnTree(const std::string& name, Mode mode, int jobs, SequenceHost& host) {
        const fs::path src = temp.path() / name / "src";
        const fs::path dst = mode == Mode::InPlace ? src : temp.path() / name / "out";
        morrowtide::test::writeRunTree(src);
        if (mode != Mode::InPlace) morrowtide::test::blockRunTreeOutput(dst);
        host.source = q(src);
        host.destination = q(dst);
        host.options.sourceFolder = host.source;
        host.options.destinationFolder = host.destination;
        host.options.offset.hours = 1;
        host.options.allTypes = true;
        host.options.jobs = jobs;
        if (mode == Mode::InPlace) {
            host.options.includeDateTime = false;
            host.options.autoRename = false;
        }
        if (mode == Mode::Replace) {
            host.options.includeFileName = false;
            host.options.autoRename = false;
        }
        BatchRun run(host);
        run.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        run.setDryRun(mode == Mode::DryRun);
        run.run();
        EXPECT_EQ(run.ending(), RunEnding::Finished);
        return morrowtide::test::fileTreeWithTimes(dst);
    }

    TempDir temp;
};

TEST_P(BatchPool, TellsAndWritesWhatOneWorkerDoes) {
    const PoolCase& c = GetParam();
    SequenceHost one;
    const TreeSnapshot alone = runOnTree("one", c.mode, 1, one);
    SequenceHost many;
    const TreeSnapshot pooled = runOnTree("many", c.mode, c.jobs, many);

    // The tree gives the order something to get wrong: clashes, a group, failures while reading and writing.
    const QString sequence = one.sequence.join(u'\n');
    EXPECT_TRUE(sequence.contains(c.mode == Mode::Replace ? QStringLiteral("11-00-00 - .jpg") : QStringLiteral("_2")))
        << sequence.toStdString();
    // A dry run names the failures in its notes.
    const auto failures = c.mode == Mode::DryRun ? static_cast<std::size_t>(sequence.count(QStringLiteral("cannot read")))
                                                 : one.errors.size();
    EXPECT_GE(failures, c.mode == Mode::Copy || c.mode == Mode::Replace ? 5u : 2u) << sequence.toStdString();
    EXPECT_TRUE(sequence.contains(QStringLiteral("not corrected: "))) << sequence.toStdString();

    EXPECT_EQ(many.sequence, one.sequence);
    EXPECT_EQ(many.summary.text, one.summary.text);
    EXPECT_FALSE(many.summary.stopped);
    EXPECT_EQ(pooled, alone);
    if (c.mode == Mode::DryRun) {
        EXPECT_EQ(pooled.size(), 1u);  // the file that blocks a folder, nothing written
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, BatchPool,
                         ::testing::Values(PoolCase{"CopyOnTwo", Mode::Copy, 2}, PoolCase{"CopyOnFour", Mode::Copy, 4},
                                           PoolCase{"CopyOnEight", Mode::Copy, 8},
                                           PoolCase{"DryRunOnFour", Mode::DryRun, 4},
                                           PoolCase{"InPlaceOnFour", Mode::InPlace, 4},
                                           PoolCase{"ReplaceOnFour", Mode::Replace, 4}),
                         [](const ::testing::TestParamInfo<PoolCase>& info) { return std::string(info.param.name); });

// Stop after k files are done: the photos already under way are finished and counted, no other one is started, and
// what was told and written is exactly the beginning of a whole run.
TEST_F(BatchPool, StopFinishesThePhotosInFlightAndCountsThem) {
    SequenceHost whole;
    const TreeSnapshot all = runOnTree("whole", Mode::Copy, 1, whole);
    for (const std::size_t k : {1u, 3u, 10u}) {
        SequenceHost host;
        host.stopAfterDone = k;
        const TreeSnapshot written = runOnTree("stop" + std::to_string(k), Mode::Copy, 4, host);

        const auto started = static_cast<std::size_t>(host.started.size());
        EXPECT_EQ(started, static_cast<std::size_t>(host.log.size())) << "k=" << k;
        EXPECT_GE(started, k);
        EXPECT_LT(started, static_cast<std::size_t>(whole.log.size()));
        ASSERT_LE(static_cast<qsizetype>(host.sequence.size()), whole.sequence.size());
        EXPECT_EQ(host.sequence, whole.sequence.mid(0, host.sequence.size())) << "k=" << k;

        // Every file started and not failed was written whole, as the whole run wrote it; nothing else was.
        std::size_t processed = 0;
        std::size_t outputs = 0;
        bool failed = false;
        for (const QString& line : host.sequence) {
            if (line.startsWith(QStringLiteral("error: "))) failed = true;
            if (!line.startsWith(QStringLiteral("done: "))) continue;
            if (!failed) ++processed;
            failed = false;
        }
        for (const auto& [name, entry] : written) {
            if (name == morrowtide::test::kBlockedFolder) continue;
            ++outputs;
            ASSERT_EQ(all.count(name), 1u) << name;
            EXPECT_EQ(entry, all.at(name)) << name;
        }
        EXPECT_EQ(outputs, processed) << "k=" << k;
        EXPECT_TRUE(host.summary.stopped);
        EXPECT_EQ(host.summary.text.toStdString(), "Cancelled: " + std::to_string(processed) + "/" +
                                                       std::to_string(whole.log.size()) + " Files Processed.");
    }
}

// A Stop heard after the first member of the JPEG+CR2+XMP group is done still writes its other members: a group is
// never split. With one worker nothing after the group is started.
TEST_F(BatchPool, StopFinishesTheGroupInHand) {
    for (const int jobs : {1, 4}) {
        SequenceHost host;
        host.stopAfterDone = 13;  // the twelve photos of a/, then the group's first member
        const TreeSnapshot written = runOnTree("group" + std::to_string(jobs), Mode::Copy, jobs, host);
        std::set<std::string> members;
        for (const auto& [name, entry] : written) {
            if (name.starts_with("b/") && name.find("IMG_1") != std::string::npos) members.insert(name);
        }
        EXPECT_EQ(members.size(), 3u) << "jobs=" << jobs;
        EXPECT_TRUE(host.summary.stopped);
        if (jobs == 1) {
            EXPECT_EQ(host.log.size(), 15) << host.sequence.join(u'\n').toStdString();
        }
    }
}

}  // namespace
