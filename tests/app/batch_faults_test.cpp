// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run when the file system changes under it: a photo that vanishes or changes between the listing and its
// turn, a source folder removed while the run is in it, a destination folder removed between two photos. The run
// must go on with the next photo, name each failure clearly and never write a mix of old and new.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocale>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "meta/date_time.h"
#include "meta/img_data.h"
#include "support/exif_builder.h"
#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/file_size_limit.h"
#include "support/hostile_tree.h"

using namespace morrowtide::app;
using morrowtide::meta::encodeDateTime;
using morrowtide::test::hostilePhoto;
using morrowtide::test::TempDir;
namespace fs = std::filesystem;
using morrowtide::test::writeFile;

namespace {

QString q(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

std::string s(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

double captureOf(const fs::path& path) {
    morrowtide::meta::ImgData data;
    data.readImageFile(path.string());
    return data.exif() != nullptr ? data.exif()->captureDateTime() : 0.0;
}

// A host that lets a test change the file system at two moments: right after the list is built, and after each
// file (the moment the GUI pumps its messages and the user could act).
class FaultHost : public BatchHost {
  public:
    RunOptions options;
    std::function<void()> afterListing;
    std::function<void(int fileIndex)> afterFile;

    std::vector<std::string> errors;
    std::vector<std::string> log;
    std::vector<std::string> notes;
    RunSummary summary;

    RunOptions currentOptions() override { return options; }
    bool confirmOverwrite() override { return true; }
    void runReset() override {}
    void invalidSource(const QString&) override {}
    void listingStarted() override {}
    void listBuilt(int) override {
        if (afterListing) afterListing();
    }
    void fileError(const QString& message) override { errors.push_back(s(message)); }
    void logNote(const QString& line) override { notes.push_back(s(line)); }
    void fileDone(const QString& logLine) override {
        log.push_back(s(logLine));
        if (afterFile) afterFile(static_cast<int>(log.size()) - 1);
    }
    void breathe() override {}
    bool stopRequested() override { return false; }
    void runFinished(const RunSummary& finished) override { summary = finished; }
};

class BatchFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        src = temp.path() / "src";
        dst = temp.path() / "out";
        host.options.sourceFolder = q(src);
        host.options.destinationFolder = q(dst);
        host.options.offset.hours = 1;
        // These faults strike between two photos: with one worker the next photo is not read before they do.
        host.options.jobs = 1;
    }

    void run() {
        BatchRun batch(host);
        batch.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        batch.run();
        ASSERT_EQ(batch.ending(), RunEnding::Finished);
    }

    std::string cannotOpen(const fs::path& path, const char* reason) const {
        return "Cannot open file \"" + path.string() + "\". " + reason;
    }

    TempDir temp;
    fs::path src;
    fs::path dst;
    FaultHost host;
};

const double kShifted = encodeDateTime({2005, 6, 1, 11, 0, 0});

TEST_F(BatchFaults, PhotoThatVanishesAfterTheListingIsReportedAndTheRunGoesOn) {
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) writeFile(src / name, hostilePhoto());
    host.afterListing = [&] { fs::remove(src / "2.jpg"); };
    run();

    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], cannotOpen(src / "2.jpg", "No such file or directory"));
    EXPECT_EQ(host.summary.text.toStdString(), "Completed Successfully (2/3 Files)");
    EXPECT_EQ(host.log.size(), 3u);
    EXPECT_EQ(captureOf(dst / "2005-06-01 11-00-00 - 1.jpg"), kShifted);
    EXPECT_EQ(captureOf(dst / "2005-06-01 11-00-00 - 3.jpg"), kShifted);
    EXPECT_FALSE(fs::exists(dst / "2.jpg"));
}

TEST_F(BatchFaults, PhotoThatChangesAfterTheListingIsTakenAsItIsWhenItsTurnComes) {
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) writeFile(src / name, hostilePhoto());
    host.afterFile = [&](int index) {
        if (index != 0) return;
        // Another program writes while the run is busy: a different photo, a half-written one, an empty one.
        writeFile(src / "2.jpg", hostilePhoto(true, "2010:01:31 23:30:00"));
        writeFile(src / "3.jpg", hostilePhoto().substr(0, 100));
        writeFile(src / "4.jpg", "");
    };
    run();

    // The new content, whole and shifted: not the old dates, not a mix.
    const fs::path changed = dst / "2010-02-01 00-30-00 - 2.jpg";
    ASSERT_TRUE(fs::exists(changed)) << "outputs: " << host.log.at(1);
    EXPECT_EQ(captureOf(changed), encodeDateTime({2010, 2, 1, 0, 30, 0}));
    ASSERT_EQ(host.errors.size(), 2u);
    EXPECT_NE(host.errors[0].find("JPEG error #"), std::string::npos) << host.errors[0];
    EXPECT_NE(host.errors[1].find("JPEG error #"), std::string::npos) << host.errors[1];
    EXPECT_EQ(host.summary.text.toStdString(), "Completed Successfully (2/4 Files)");
    // Nothing of the refused files was written, and nothing half-written is left.
    for (const auto& entry : fs::directory_iterator(dst)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "2005-06-01 11-00-00 - 1.jpg" || name == "2010-02-01 00-30-00 - 2.jpg") << name;
    }
}

TEST_F(BatchFaults, SourceFolderRemovedDuringTheRunFailsItsRemainingPhotosOnly) {
    for (const char* name : {"a/1.jpg", "a/2.jpg", "a/3.jpg", "b/4.jpg"}) writeFile(src / name, hostilePhoto());
    host.afterFile = [&](int index) {
        if (index == 0) fs::remove_all(src / "a");
    };
    run();

    ASSERT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(host.errors[0], cannotOpen(src / "a" / "2.jpg", "No such file or directory"));
    EXPECT_EQ(host.errors[1], cannotOpen(src / "a" / "3.jpg", "No such file or directory"));
    EXPECT_EQ(host.summary.text.toStdString(), "Completed Successfully (2/4 Files)");
    EXPECT_EQ(captureOf(dst / "a" / "2005-06-01 11-00-00 - 1.jpg"), kShifted);
    EXPECT_EQ(captureOf(dst / "b" / "2005-06-01 11-00-00 - 4.jpg"), kShifted);
}

TEST_F(BatchFaults, WholeSourceTreeRemovedDuringTheRunEndsWithAMessagePerPhoto) {
    for (const char* name : {"1.jpg", "x/2.jpg", "x/y/3.jpg"}) writeFile(src / name, hostilePhoto());
    host.afterFile = [&](int index) {
        if (index == 0) fs::remove_all(src);
    };
    run();

    EXPECT_EQ(host.errors.size(), 2u);
    for (const std::string& error : host.errors) EXPECT_TRUE(error.starts_with("Cannot open file \"")) << error;
    EXPECT_EQ(host.summary.text.toStdString(), "Completed Successfully (1/3 Files)");
    EXPECT_EQ(host.log.size(), 3u);
}

TEST_F(BatchFaults, DestinationRemovedBetweenTwoPhotosIsMadeAgain) {
    for (const char* name : {"x/1.jpg", "x/2.jpg"}) writeFile(src / name, hostilePhoto());
    host.afterFile = [&](int index) {
        if (index == 0) fs::remove_all(dst);
    };
    run();

    EXPECT_TRUE(host.errors.empty()) << host.errors.at(0);
    EXPECT_EQ(captureOf(dst / "x" / "2005-06-01 11-00-00 - 2.jpg"), kShifted);
}

}  // namespace

namespace {

// The run over its own source folder: no date in the names and no auto rename, so each photo replaces its original.
class InPlace : public BatchFaults {
  protected:
    void SetUp() override {
        BatchFaults::SetUp();
        host.options.destinationFolder = host.options.sourceFolder;
        host.options.includeDateTime = false;
        host.options.autoRename = false;
    }
};

TEST_F(InPlace, AnotherPhotoOfTheRunIsNeverReplacedItsNameTakesTheNextNumber) {
    // Every photo is named "b" by the mask: a.jpg's copy would land on b.jpg, which is still waiting.
    writeFile(src / "a.jpg", hostilePhoto(true, "2001:01:01 01:00:00"));
    writeFile(src / "b.jpg", hostilePhoto());
    host.options.includeDateTime = true;
    host.options.includeFileName = false;
    host.options.fileMask = QStringLiteral("'b'");
    run();

    EXPECT_TRUE(host.errors.empty()) << host.errors.at(0);
    EXPECT_EQ(host.log, (std::vector<std::string>{(src / "b_2.jpg").string(), (src / "b.jpg").string()}));
    // Each shifted once: b.jpg was read before anything was written over it.
    EXPECT_EQ(captureOf(src / "b_2.jpg"), encodeDateTime({2001, 1, 1, 2, 0, 0}));
    EXPECT_EQ(captureOf(src / "b.jpg"), kShifted);
    EXPECT_EQ(captureOf(src / "a.jpg"), encodeDateTime({2001, 1, 1, 1, 0, 0}));
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes[0], "Not replaced: \"" + (src / "b.jpg").string() + "\" is one of the photos of this run; \"" +
                                 (src / "a.jpg").string() + "\" was written as \"" + (src / "b_2.jpg").string() + "\"");
}

TEST_F(InPlace, ReplacedPhotoKeepsModeOwnerAndSymbolicLink) {
    writeFile(src / "mode.jpg", hostilePhoto());
    fs::permissions(src / "mode.jpg", fs::perms(0640));
    writeFile(src / "owned.jpg", hostilePhoto());
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((src / "owned.jpg").c_str(), 4321, 8765), 0);
    }
    writeFile(temp.path() / "elsewhere" / "real.jpg", hostilePhoto());
    fs::create_symlink(temp.path() / "elsewhere" / "real.jpg", src / "link.jpg");
    run();

    EXPECT_TRUE(host.errors.empty()) << host.errors.at(0);
    struct stat info {};
    ASSERT_EQ(::stat((src / "mode.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    ASSERT_EQ(::stat((src / "owned.jpg").c_str(), &info), 0);
    if (root) {
        EXPECT_EQ(std::pair(info.st_uid, info.st_gid), std::pair(uid_t{4321}, gid_t{8765}));
    }
    EXPECT_TRUE(fs::is_symlink(src / "link.jpg"));
    EXPECT_EQ(captureOf(temp.path() / "elsewhere" / "real.jpg"), kShifted);
    for (const char* name : {"mode.jpg", "owned.jpg"}) EXPECT_EQ(captureOf(src / name), kShifted) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(src), fs::directory_iterator()), 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path() / "elsewhere"), fs::directory_iterator()), 1);
}

TEST_F(InPlace, PhotoWithAnotherHardLinkIsRefusedNotSplit) {
    writeFile(src / "linked.jpg", hostilePhoto());
    fs::create_hard_link(src / "linked.jpg", temp.path() / "album.jpg");
    const std::string before = morrowtide::test::readFile(src / "linked.jpg");
    run();

    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Cannot create file \"" + (src / "linked.jpg").string() +
                                  "\". It has 1 other hard link(s), which would go on showing the old version; it "
                                  "was left unchanged");
    EXPECT_TRUE(fs::equivalent(src / "linked.jpg", temp.path() / "album.jpg"));
    EXPECT_EQ(morrowtide::test::readFile(src / "linked.jpg"), before);
}

TEST_F(BatchFaults, SymbolicLinkBelowTheDestinationIsNotFollowed) {
    writeFile(src / "sub" / "1.jpg", hostilePhoto());
    writeFile(src / "2.jpg", hostilePhoto());
    const fs::path outside = temp.path() / "outside";
    writeFile(outside / "2005-06-01 11-00-00 - 1.jpg", "not to be touched");
    fs::create_directories(dst);
    fs::create_directory_symlink(outside, dst / "sub");
    host.options.autoRename = false;
    run();

    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Cannot create file \"" + (dst / "sub" / "2005-06-01 11-00-00 - 1.jpg").string() +
                                  "\". The folder \"" + (dst / "sub").string() +
                                  "\" is a symbolic link, which is not followed");
    EXPECT_EQ(morrowtide::test::readFile(outside / "2005-06-01 11-00-00 - 1.jpg"), "not to be touched");
    EXPECT_EQ(captureOf(dst / "2005-06-01 11-00-00 - 2.jpg"), kShifted);
}

TEST_F(BatchFaults, DestinationInsideTheSourceIsLeftOutOfTheList) {
    writeFile(src / "1.jpg", hostilePhoto());
    dst = src / "output";
    host.options.destinationFolder = q(dst);
    run();
    EXPECT_TRUE(host.notes.empty());
    run();  // the first run's copy stands in output/ now

    EXPECT_EQ(host.log.size(), 2u);  // one photo per run
    EXPECT_EQ(host.notes, std::vector<std::string>{"The destination folder \"" + dst.string() +
                                                   "\" lies inside the source folder and was left out of the list"});
    EXPECT_FALSE(fs::exists(dst / "output"));
    EXPECT_EQ(host.log.back(), (dst / "2005-06-01 11-00-00 - 1_2.jpg").string());
}

// A member of a JPEG+CR2+XMP group that cannot be written (here: the disk full for the large raw file) leaves the
// whole group untouched, in a copy and in place, one worker or several; the photos around it go on.
TEST(GroupFaults, AMemberThatCannotBeWrittenLeavesTheWholeGroupUntouched) {
    for (const bool inPlace : {false, true}) {
        for (const int jobs : {1, 4}) {
            SCOPED_TRACE(std::string(inPlace ? "in place" : "copy") + " on " + std::to_string(jobs));
            const TempDir temp;
            const fs::path src = temp.path() / "src";
            const fs::path dst = inPlace ? src : temp.path() / "out";
            const std::map<std::string, std::string> group = {
                {"IMG_1.JPG", hostilePhoto()},
                {"IMG_1.CR2", morrowtide::test::tiffPhoto("2005:06:01 10:00:00") + std::string(300000, '\0')},
                {"IMG_1.xmp", morrowtide::test::XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00").build()},
            };
            for (const auto& [name, bytes] : group) writeFile(src / name, bytes);
            writeFile(src / "solo.jpg", hostilePhoto(false, "2005:06:01 12:00:00"));
            FaultHost host;
            host.options.sourceFolder = q(src);
            host.options.destinationFolder = q(dst);
            host.options.offset.hours = 1;
            host.options.allTypes = true;
            host.options.jobs = jobs;
            host.options.includeDateTime = !inPlace;
            host.options.autoRename = !inPlace;
            {
                const morrowtide::test::FileSizeLimit full(100000);
                ASSERT_TRUE(full.active());
                BatchRun batch(host);
                batch.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
                batch.run();
            }
            // The raw file's own error, and one for each member let go with it.
            ASSERT_EQ(host.errors.size(), 3u);
            EXPECT_EQ(std::count_if(host.errors.begin(), host.errors.end(),
                                    [](const std::string& e) { return e.find("of the same group") != std::string::npos; }),
                      2);
            EXPECT_EQ(host.summary.processed, 1);
            std::vector<std::string> outputs;
            for (const auto& entry : fs::directory_iterator(dst)) outputs.push_back(entry.path().filename().string());
            if (inPlace) {
                for (const auto& [name, bytes] : group) EXPECT_EQ(morrowtide::test::readFile(src / name), bytes) << name;
                EXPECT_EQ(outputs.size(), group.size() + 1);  // the sources, no temporary file beside them
            } else {
                ASSERT_EQ(outputs.size(), 1u);  // only the photo outside the group
                EXPECT_NE(outputs[0].find("solo"), std::string::npos);
            }
            EXPECT_NE(captureOf(inPlace ? src / "solo.jpg" : dst / outputs[0]), 0.0);
        }
    }
}

// Two runs writing the same names into one destination at once: each group ends under one name, whichever run took
// which number, and no file of either is lost.
TEST(GroupFaults, TwoRunsIntoOneDestinationKeepEveryGroupUnderOneName) {
    const TempDir temp;
    const fs::path dst = temp.path() / "out";
    constexpr int kGroups = 20;
    std::vector<std::unique_ptr<FaultHost>> hosts;
    for (const char* source : {"one", "two"}) {
        const fs::path src = temp.path() / source;
        for (int k = 0; k < kGroups; ++k) {
            const std::string stem = "IMG_" + std::to_string(k);
            writeFile(src / (stem + ".JPG"), hostilePhoto());
            writeFile(src / (stem + ".CR2"), morrowtide::test::tiffPhoto("2005:06:01 10:00:00"));
            writeFile(src / (stem + ".xmp"),
                      morrowtide::test::XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00").build());
        }
        auto host = std::make_unique<FaultHost>();
        host->options.sourceFolder = q(src);
        host->options.destinationFolder = q(dst);
        host->options.offset.hours = 1;
        host->options.allTypes = true;
        host->options.jobs = 4;
        hosts.push_back(std::move(host));
    }
    std::vector<std::thread> runs;
    for (auto& host : hosts) {
        runs.emplace_back([&host] {
            BatchRun batch(*host);
            batch.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
            batch.run();
        });
    }
    for (std::thread& run : runs) run.join();
    std::map<std::string, std::set<std::string>> byName;
    for (const auto& entry : fs::directory_iterator(dst)) {
        const std::string name = entry.path().filename().string();
        byName[name.substr(0, name.find('.'))].insert(name.substr(name.find('.')));
    }
    EXPECT_EQ(byName.size(), 2u * kGroups);
    for (const auto& [stem, extensions] : byName) {
        EXPECT_EQ(extensions, (std::set<std::string>{".CR2", ".jpg", ".xmp"})) << stem;
    }
    for (const auto& host : hosts) {
        EXPECT_TRUE(host->errors.empty());
        EXPECT_EQ(host->summary.processed, 3 * kGroups);
    }
}

// Bytes of no section after the EXIF section: the photo is corrected, its image data kept, and the log says how
// many bytes were passed over.
TEST(StrayBytes, ThePhotoIsCorrectedAndTheLogSaysHowManyBytesWerePassedOver) {
    const TempDir temp;
    std::string bytes = morrowtide::test::cameraPhoto();
    const std::size_t app1End = 4 + (static_cast<unsigned char>(bytes[4]) << 8 | static_cast<unsigned char>(bytes[5]));
    bytes.insert(app1End, std::string(30, ' '));
    writeFile(temp.path() / "src/a.jpg", bytes);
    FaultHost host;
    host.options.sourceFolder = q(temp.path() / "src");
    host.options.destinationFolder = q(temp.path() / "src");
    host.options.offset.hours = 1;
    host.options.includeDateTime = false;
    host.options.autoRename = false;
    BatchRun batch(host);
    batch.run();
    EXPECT_TRUE(host.errors.empty());
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_NE(host.notes[0].find(": 30 bytes between the header sections"), std::string::npos) << host.notes[0];
    const std::string written = morrowtide::test::readFile(temp.path() / "src/a.jpg");
    const std::string image = bytes.substr(bytes.rfind("\xFF\xDA"));
    EXPECT_EQ(written.substr(written.size() - image.size()), image);
    EXPECT_EQ(captureOf(temp.path() / "src/a.jpg"), encodeDateTime({2005, 6, 1, 11, 0, 0}));
}

}  // namespace
