// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"

#include <gtest/gtest.h>
#include <jerror.h>
#include <sys/stat.h>

#include <QFile>
#include <QLocale>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "meta/date_time.h"
#include "meta/img_data.h"
#include "support/exif_builder.h"
#include "test_host.h"

using namespace morrowtide::app;
using morrowtide::test::TestHost;
using morrowtide::meta::encodeDateTime;
using morrowtide::meta::ImgData;
using morrowtide::test::JpegBuilder;
using morrowtide::test::TempDir;
using morrowtide::test::TiffBuilder;
namespace fs = std::filesystem;
using morrowtide::test::readFile;
using morrowtide::test::writeFile;

namespace {

// A photo whose three EXIF dates all read `date` ("yyyy:mm:dd hh:nn:ss").
std::string photo(const std::string& date = "2005:06:01 10:00:00") {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    const auto exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.ascii(ifd0, 0x0132, date);
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, date);
    tiff.ascii(exif, 0x9004, date);
    return JpegBuilder().app1Exif(tiff.build()).imageData().build();
}

// A photo with an EXIF block that holds no date.
std::string undatedPhoto() {
    TiffBuilder tiff;
    tiff.ascii(tiff.directory(), 0x010F, "Canon");
    return JpegBuilder().app1Exif(tiff.build()).imageData().build();
}

std::string plainJpeg() {
    return JpegBuilder().app0Jfif().imageData().build();
}

QString q(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

double captureOf(const fs::path& path) {
    ImgData data;
    data.readImageFile(path.string());
    return data.exif() != nullptr ? data.exif()->captureDateTime() : 0.0;
}

// Everything below `root`, relative, sorted.
std::vector<std::string> tree(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        names.push_back(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BatchRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        src = temp.path() / "src";
        dst = temp.path() / "out";
        fs::create_directories(src);
        host.options.sourceFolder = q(src);
        host.options.destinationFolder = q(dst);
    }

    RunSummary runOnce() {
        BatchRun run(host);
        run.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        const RunSummary summary = run.run();
        ending = run.ending();
        fileList = run.fileList();
        return summary;
    }

    TempDir temp;
    fs::path src;
    fs::path dst;
    TestHost host;
    RunEnding ending = RunEnding::NotStarted;
    QStringList fileList;
};

}  // namespace

TEST(BatchRunSummary, Texts) {
    EXPECT_EQ(makeSummary(0, 0, false).text, "Completed Successfully (0 Files)");
    EXPECT_EQ(makeSummary(9, 10, false).text, "Completed Successfully (9/10 Files)");
    EXPECT_EQ(makeSummary(9, 10, false).kind, SummaryKind::Information);
    EXPECT_EQ(makeSummary(12, 12, true).text, "Cancelled: 12/12 Files Processed.");
    EXPECT_EQ(makeSummary(12, 12, true).kind, SummaryKind::Warning);
}

TEST_F(BatchRunTest, EmptyFolderCompletesWithZeroFiles) {
    writeFile(src / "notes.txt", "x");
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Completed Successfully (0 Files)");
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"reset", "listing", "listed:0", "finished:Completed Successfully (0 Files)"}));
    EXPECT_FALSE(fs::exists(dst));
}

TEST_F(BatchRunTest, MissingSourceStopsBeforeListingAndEmptiesTheList) {
    writeFile(src / "a.jpg", photo());
    runOnce();
    ASSERT_EQ(fileList.size(), 1);

    for (const fs::path& bad : {temp.path() / "missing", src / "a.jpg"}) {
        host.events.clear();
        host.options.sourceFolder = q(bad);
        const RunSummary summary = runOnce();
        EXPECT_EQ(ending, RunEnding::InvalidSource);
        EXPECT_TRUE(summary.text.isEmpty());
        EXPECT_EQ(host.events, (std::vector<std::string>{"reset", "invalid:Error: Invalid Directory"}));
        EXPECT_TRUE(fileList.isEmpty());
    }
}

TEST_F(BatchRunTest, StopRightAfterTheListProcessesNothing) {
    for (int i = 0; i < 12; ++i) writeFile(src / ("p" + std::to_string(i) + ".jpg"), photo());
    host.stopAtOnce = true;
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Cancelled: 0/12 Files Processed.");
    EXPECT_EQ(summary.kind, SummaryKind::Warning);
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_FALSE(fs::exists(dst));
}

TEST_F(BatchRunTest, StopDuringTheLastFileFinishesItAndStillCancels) {
    for (int i = 0; i < 12; ++i) writeFile(src / ("p" + std::to_string(i + 10) + ".jpg"), photo());
    host.options.includeDateTime = false;
    host.stopAtOptionsCall = 1 + 12;  // the start, then once per file
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Cancelled: 12/12 Files Processed.");
    EXPECT_EQ(host.log.size(), 12);
    EXPECT_TRUE(fs::exists(dst / "p21.jpg"));

    // A stop in the middle: the file in hand is finished, the next is not started.
    host = TestHost{};
    host.options.sourceFolder = q(src);
    host.options.destinationFolder = q(temp.path() / "half");
    host.options.includeDateTime = false;
    host.stopAtOptionsCall = 1 + 5;
    EXPECT_EQ(runOnce().text, "Cancelled: 5/12 Files Processed.");
    EXPECT_EQ(tree(temp.path() / "half").size(), 5u);
}

TEST_F(BatchRunTest, ListsExactExtensionsAndWritesShiftedCopies) {
    for (const char* name : {"a.JPG", "b.jpg", "c.Jpg", "d.jpeg", "e.jpe"}) writeFile(src / name, photo());
    host.options.offset = {1, 2, 3, 4};
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Completed Successfully (2 Files)");
    EXPECT_EQ(fileList, (QStringList{q(src / "a.JPG"), q(src / "b.jpg")}));
    EXPECT_EQ(tree(dst), (std::vector<std::string>{"2005-06-02 12-03-04 - a.jpg", "2005-06-02 12-03-04 - b.jpg"}));
    EXPECT_EQ(host.log, (QStringList{q(dst / "2005-06-02 12-03-04 - a.jpg"), q(dst / "2005-06-02 12-03-04 - b.jpg")}));

    const fs::path out = dst / "2005-06-02 12-03-04 - a.jpg";
    EXPECT_EQ(captureOf(out), encodeDateTime({2005, 6, 2, 12, 3, 4, 0}));
    const std::string written = readFile(out);
    const std::string original = readFile(src / "a.JPG");
    EXPECT_EQ(written.size(), original.size());  // only the 19 date characters changed, three times
    int differing = 0;
    for (std::size_t i = 0; i < std::min(written.size(), original.size()); ++i) differing += written[i] != original[i];
    EXPECT_GT(differing, 0);
    EXPECT_LE(differing, 3 * 19);
    EXPECT_EQ(written.substr(written.size() - 100), original.substr(original.size() - 100));
}

TEST_F(BatchRunTest, SubFoldersAreRecreatedAndFoldersNamedLikePhotosAreSearched) {
    writeFile(src / "top.jpg", plainJpeg());
    writeFile(src / "x" / "y" / "deep.jpg", plainJpeg());
    writeFile(src / "x.jpg" / "inside.JPG", plainJpeg());
    EXPECT_EQ(runOnce().text, "Completed Successfully (3 Files)");
    EXPECT_EQ(tree(dst),
              (std::vector<std::string>{"top.jpg", "x.jpg/", "x.jpg/inside.jpg", "x/", "x/y/", "x/y/deep.jpg"}));

    host.options.destinationFolder = q(temp.path() / "flat");
    host.options.recurseFolders = false;
    EXPECT_EQ(runOnce().text, "Completed Successfully (1 Files)");
    EXPECT_EQ(tree(temp.path() / "flat"), (std::vector<std::string>{"top.jpg"}));
}

TEST_F(BatchRunTest, OptionsAreReadAfreshForEveryFile) {
    writeFile(src / "a.jpg", plainJpeg());
    writeFile(src / "b.jpg", plainJpeg());
    host.onOptions = [this](int call, RunOptions& options) {
        // Changes made while the first file is handled count from the second file on.
        if (call == 2) {
            options.destinationFolder = q(temp.path() / "later");
            options.sourceFolder = q(temp.path() / "ignored");
        }
    };
    host.options.destinationFolder = q(temp.path() / "first");
    EXPECT_EQ(runOnce().text, "Completed Successfully (2 Files)");
    EXPECT_EQ(tree(temp.path() / "later"), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_FALSE(fs::exists(temp.path() / "first"));
}

TEST(OverwriteQuestion, AskedForTheSameFolderOnlyWhenNamesWouldNotDiffer) {
    TempDir temp;
    const fs::path photos = temp.path() / "Photos";
    fs::create_directories(photos);
    fs::create_directory_symlink(photos, temp.path() / "link");

    RunOptions options;
    options.includeDateTime = false;
    options.autoRename = false;
    const auto asks = [&options](const fs::path& source, const fs::path& destination) {
        options.sourceFolder = q(source);
        options.destinationFolder = q(destination);
        return needsOverwriteQuestion(options);
    };
    EXPECT_TRUE(asks(photos, photos));
    // Letter case and a trailing delimiter: the texts count as equal even where the folders are not.
    EXPECT_TRUE(asks(temp.path() / "photos", q(photos).append('/').toStdString()));
    // The same folder on disk written differently.
    EXPECT_TRUE(asks(photos, temp.path() / "link"));
    EXPECT_TRUE(asks(photos, photos / "."));
    EXPECT_TRUE(asks(photos / "..", temp.path()));
    EXPECT_FALSE(asks(photos, temp.path() / "Other"));
    EXPECT_FALSE(asks(photos, temp.path() / "link" / "sub"));

    options.includeDateTime = true;
    EXPECT_FALSE(asks(photos, temp.path() / "link"));
    EXPECT_FALSE(asks(photos, photos));
    options.includeDateTime = false;
    options.autoRename = true;
    EXPECT_FALSE(asks(photos, photos));
}

TEST_F(BatchRunTest, NoToTheOverwriteQuestionChangesNothing) {
    writeFile(src / "a.jpg", photo());
    writeFile(src / "b.jpg", photo());
    runOnce();  // a first run to another folder leaves its list
    ASSERT_EQ(fileList.size(), 2);

    const std::string before = readFile(src / "a.jpg");
    host = TestHost{};
    host.options.sourceFolder = q(src);
    host.options.destinationFolder = q(src / ".");
    host.options.includeDateTime = false;
    host.options.autoRename = false;
    host.options.offset.hours = 1;
    host.answer = false;
    BatchRun run(host);
    run.run();
    EXPECT_EQ(run.ending(), RunEnding::Declined);
    EXPECT_EQ(host.events, (std::vector<std::string>{"confirm"}));
    EXPECT_EQ(readFile(src / "a.jpg"), before);
    EXPECT_EQ(tree(src), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(BatchRunTest, NoLeavesTheListOfThePreviousRun) {
    writeFile(src / "a.jpg", photo());
    BatchRun run(host);
    run.run();
    ASSERT_EQ(run.fileList().size(), 1);
    host.options.destinationFolder = host.options.sourceFolder;
    host.options.includeDateTime = false;
    host.options.autoRename = false;
    host.answer = false;
    run.run();
    EXPECT_EQ(run.ending(), RunEnding::Declined);
    EXPECT_EQ(run.fileList().size(), 1);
}

TEST_F(BatchRunTest, YesReplacesTheOriginalsInPlace) {
    writeFile(src / "a.jpg", photo());
    writeFile(src / "sub" / "b.jpg", photo("2010:01:01 00:00:00"));
    writeFile(src / "C.JPG", photo());
    fs::create_directory_symlink(src, temp.path() / "same");
    host.options.destinationFolder = q(temp.path() / "same");
    host.options.includeDateTime = false;
    host.options.autoRename = false;
    host.options.offset.hours = -1;
    host.answer = true;

    EXPECT_EQ(runOnce().text, "Completed Successfully (3 Files)");
    EXPECT_EQ(host.events.front(), "confirm");
    EXPECT_EQ(captureOf(src / "a.jpg"), encodeDateTime({2005, 6, 1, 9, 0, 0, 0}));
    EXPECT_EQ(captureOf(src / "sub" / "b.jpg"), encodeDateTime({2009, 12, 31, 23, 0, 0, 0}));
    // A photo corrected in place keeps its name exactly: C.JPG is not joined by a C.jpg beside the original.
    EXPECT_EQ(captureOf(src / "C.JPG"), encodeDateTime({2005, 6, 1, 9, 0, 0, 0}));
    EXPECT_EQ(host.log.front(), q(temp.path() / "same" / "C.JPG"));
    // No temporary file is left behind.
    EXPECT_EQ(tree(src), (std::vector<std::string>{"C.JPG", "a.jpg", "sub/", "sub/b.jpg"}));
}

TEST_F(BatchRunTest, FileTimesFollowTheShiftedCaptureOrTheSourceToTwoSeconds) {
    writeFile(src / "exif.jpg", photo("2006:03:04 05:06:07"));
    writeFile(src / "plain.jpg", plainJpeg());
    writeFile(src / "undated.jpg", undatedPhoto());
    const std::uint32_t sourceTime = dosDateTimeFromCivil(2001, 2, 3, 4, 5, 7);
    ASSERT_TRUE(setFileDate(q(src / "exif.jpg"), sourceTime));
    ASSERT_TRUE(setFileDate(q(src / "plain.jpg"), sourceTime));
    ASSERT_TRUE(setFileDate(q(src / "undated.jpg"), sourceTime));
    host.options.includeDateTime = false;
    host.options.offset = {0, 0, 0, 2};

    runOnce();
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(sourceFileDate(q(dst / "exif.jpg")), dosDateTimeFromCivil(2006, 3, 4, 5, 6, 8));
    EXPECT_EQ(sourceFileDate(q(dst / "plain.jpg")), sourceTime);    // no EXIF: the source's time
    EXPECT_EQ(sourceFileDate(q(dst / "undated.jpg")), sourceTime);  // EXIF without a date: the same

    host.options.preserveModDate = true;
    host.options.destinationFolder = q(temp.path() / "kept");
    runOnce();
    EXPECT_EQ(sourceFileDate(q(temp.path() / "kept" / "exif.jpg")), sourceTime);
    EXPECT_EQ(sourceFileDate(q(temp.path() / "kept" / "plain.jpg")), sourceTime);
}

TEST_F(BatchRunTest, DateBefore1980KeepsTheTimeOfWriting) {
    writeFile(src / "old.jpg", photo("1980:01:01 00:30:00"));
    ASSERT_TRUE(setFileDate(q(src / "old.jpg"), dosDateTimeFromCivil(2001, 2, 3, 4, 5, 6)));
    host.options.offset.hours = -1;
    const auto started = fs::file_time_type::clock::now();
    EXPECT_EQ(runOnce().text, "Completed Successfully (1 Files)");
    const fs::path out = dst / "1979-12-31 23-30-00 - old.jpg";
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(captureOf(out), encodeDateTime({1979, 12, 31, 23, 30, 0, 0}));
    EXPECT_GE(fs::last_write_time(out), started - std::chrono::seconds(2));
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(BatchRunTest, OneUnreadableFileAmongTenIsReportedAndLogged) {
    for (int i = 0; i < 10; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        writeFile(src / name, i == 4 ? std::string("not a photo at all") : photo());
    }
    host.options.includeDateTime = false;
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Completed Successfully (9/10 Files)");
    EXPECT_EQ(summary.kind, SummaryKind::Information);
    ASSERT_EQ(host.errors.size(), 1u);
    // What is wrong in words, then the library's code (the host names the file).
    EXPECT_EQ(host.errors[0], "Not a JPEG picture that can be read: Not a JPEG file: starts with 0x6e 0x6f (JPEG error #" +
                                  QString::number(JERR_NO_SOI) + ")");
    EXPECT_EQ(host.log.size(), 10);
    EXPECT_EQ(host.log[4], q(dst / "p4.jpg"));  // the name was formed before the write failed
    EXPECT_EQ(tree(dst).size(), 9u);
    EXPECT_FALSE(fs::exists(dst / "p4.jpg"));
}

TEST_F(BatchRunTest, FilesThatCannotBeReadGiveTheSystemsReason) {
    writeFile(src / "good.jpg", photo());
    fs::create_symlink(temp.path() / "nowhere.jpg", src / "dangling.jpg");
    ::mkfifo((src / "pipe.jpg").c_str(), 0600);
    writeFile(src / "empty.jpg", "");
    host.options.includeDateTime = false;
    EXPECT_EQ(runOnce().text, "Completed Successfully (1/4 Files)");
    ASSERT_EQ(host.errors.size(), 3u);
    EXPECT_EQ(host.errors[0], "Cannot open file \"" + q(src / "dangling.jpg") + "\". No such file or directory");
    EXPECT_EQ(host.errors[1],
              "Not a JPEG picture that can be read: Empty input file (JPEG error #" +
                  QString::number(JERR_INPUT_EMPTY) + ")");
    EXPECT_EQ(host.errors[2], "Cannot open file \"" + q(src / "pipe.jpg") + "\". Not a regular file");
    EXPECT_EQ(tree(dst), (std::vector<std::string>{"good.jpg"}));
    // Every file is announced before it is handled, so an error can be put down to the file it belongs to.
    EXPECT_EQ(host.started, fileList);
    EXPECT_EQ(host.started.size(), 4);
}

TEST_F(BatchRunTest, NameWithASlashFromTheLocaleFailsThatFileOnly) {
    writeFile(src / "a.jpg", photo());
    host.options.fileMask = QStringLiteral("ddddd");  // the short date format, M/d/yy in the US locale
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Completed Successfully (0/1 Files)");
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Cannot create file \"" + q(dst / "6/1/05.jpg") + "\". Invalid argument");
    EXPECT_EQ(host.log, QStringList{q(dst / "6/1/05.jpg")});
    EXPECT_EQ(tree(dst), std::vector<std::string>{});
}
