// SPDX-License-Identifier: GPL-3.0-or-later
// `morrowtide-cli run` as a user starts it: the real binary on temporary folders, its output, files and exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jerror.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/naming.h"
#include "meta/date_time.h"
#include "meta/img_data.h"
#include "meta/jpeg_writer.h"
#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"
#include "support/file_tree.h"

extern char** environ;

using morrowtide::meta::encodeDateTime;
using morrowtide::test::JpegBuilder;
using morrowtide::test::TempDir;
using morrowtide::test::TiffBuilder;
namespace fs = std::filesystem;
namespace app = morrowtide::app;
using morrowtide::test::fileTree;
using morrowtide::test::fileTreeContents;
using morrowtide::test::readFile;
using morrowtide::test::writeFile;

namespace {

std::string photo(const std::string& date = "2005:06:01 10:00:00") {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    const auto exif = tiff.directory();
    tiff.ascii(ifd0, 0x0132, date);
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, date);
    return JpegBuilder().app1Exif(tiff.build()).imageData().build();
}

double captureOf(const fs::path& path) {
    morrowtide::meta::ImgData data;
    data.readImageFile(path.string());
    return data.exif() != nullptr ? data.exif()->captureDateTime() : 0.0;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

struct Result {
    int status = -1;  // exit code, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// The program with standard input from /dev/null and both outputs captured, as in a script or under CI.
class Program {
  public:
    explicit Program(const std::vector<std::string>& args) {
        int outPipe[2];
        int errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        std::vector<std::string> argv{MORROWTIDE_CLI_PATH, "run"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (auto& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        const int failed = ::posix_spawn(&pid_, MORROWTIDE_CLI_PATH, &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        out_ = outPipe[0];
        err_ = errPipe[0];
        if (failed != 0) throw std::runtime_error("posix_spawn");
    }
    ~Program() {
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Reads until standard output holds a complete line (or ends).
    void waitForFirstLine() {
        while (result_.out.find('\n') == std::string::npos && pump()) {
        }
    }
    void signal(int number) { ::kill(pid_, number); }

    Result finish() {
        while (pump()) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result_;
    }

  private:
    // One round of reading; false once both outputs have ended.
    bool pump() {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (out_ < 0 && err_ < 0) return false;
        if (::poll(fds, 2, 60000) <= 0) return false;
        char buffer[4096];
        for (auto [fd, text] : {std::pair{&out_, &result_.out}, std::pair{&err_, &result_.err}}) {
            pollfd& p = fds[fd == &out_ ? 0 : 1];
            if (*fd < 0 || (p.revents & (POLLIN | POLLHUP)) == 0) continue;
            const ssize_t got = ::read(*fd, buffer, sizeof buffer);
            if (got > 0) {
                text->append(buffer, static_cast<std::size_t>(got));
            } else {
                ::close(*fd);
                *fd = -1;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool reaped_ = false;
    Result result_;
};

Result run(const std::vector<std::string>& args) {
    return Program(args).finish();
}

class CliRun : public ::testing::Test {
  protected:
    void SetUp() override {
        src = temp.path() / "in";
        dst = temp.path() / "out";
        fs::create_directories(src);
    }
    TempDir temp;
    fs::path src;
    fs::path dst;
};

}  // namespace

TEST_F(CliRun, HelpDocumentsOptionsAndExamples) {
    const Result result = run({"--help"});
    EXPECT_EQ(result.status, 0);
    for (const char* text :
         {"Usage: morrowtide-cli run", "--days", "--hours", "--minutes", "--seconds", "--mask", "--no-recurse",
          "--no-auto-rename", "--no-filename", "--no-datetime", "--no-overwrite-datetime", "--preserve-mtime", "--yes",
          "--settings", "--jobs", "Exit status", "Examples:"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text;
    }
}

TEST_F(CliRun, UsageErrorsExitWithTwoAndTouchNothing) {
    writeFile(src / "a.jpg", photo());
    const std::string in = src.string();
    const std::string out = dst.string();
    const std::vector<std::vector<std::string>> cases = {
        {"--hours", "24", in, out},
        {"--hours=-24", in, out},
        {"--minutes", "60", in, out},
        {"--seconds", "-60", in, out},
        {"--days", "2147483648", in, out},
        {"--days", "1.5", in, out},
        {"--days", in, out},  // the folder taken as the value
        {in},
        {in, out, "extra"},
        {"--bogus", in, out},
        {"--mask", "/:?", in, out},
        {"--jobs", "-1", in, out},
        {"--jobs=65", in, out},
        {"-j", "many", in, out},
        {"--settings", (temp.path() / "missing.ini").string(), in, out},
        {(temp.path() / "no such folder").string(), out},
        {"", out},
    };
    for (const auto& args : cases) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << args[0] << " " << result.err;
        EXPECT_FALSE(result.err.empty()) << args[0];
        EXPECT_TRUE(result.out.empty()) << args[0] << " " << result.out;
    }
    EXPECT_NE(run({"--hours", "24", in, out}).err.find("--hours must be a whole number from -23 to 23"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dst));
}

TEST_F(CliRun, MaskThatWouldHideTheCopiesIsRefusedWhereItIsUsed) {
    writeFile(src / "a.jpg", photo());
    const std::string in = src.string();
    const std::string out = dst.string();
    for (const auto& [args, reason] : {
             std::pair<std::vector<std::string>, QString>{{"--mask", ".", in, out}, app::kHiddenNameMaskReason},
             {{"--mask", "*FILENAME", "--no-filename", in, out}, app::kEmptyNameMaskReason},
         }) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_EQ(result.err, "morrowtide-cli run: Invalid file mask \"" + args[1] + "\". " + reason.toStdString() +
                                  "\nTry \"morrowtide-cli run --help\".\n");
        EXPECT_FALSE(fs::exists(dst));
    }
    // Without the date in the name the mask is not used: the photo keeps its own name.
    const Result kept = run({"--mask", ".", "--no-datetime", in, out});
    EXPECT_EQ(kept.status, 0) << kept.err;
    EXPECT_TRUE(fs::exists(dst / "a.jpg"));
}

TEST_F(CliRun, ExtremeOffsetsWithinTheRangesAreAccepted) {
    const Result result = run(
        {"--days", "-2147483648", "--hours", "-23", "--minutes=59", "--seconds", "+59", src.string(), dst.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Completed Successfully (0 Files)\n");
}

TEST_F(CliRun, LogsEveryFileReportsErrorsAndEndsWithTheSummary) {
    writeFile(src / "IMG_1.JPG", photo());
    writeFile(src / "trip" / "IMG_2.jpg", photo("2006:01:01 23:30:00"));
    writeFile(src / "broken.jpg", "no jpeg here");
    writeFile(src / "skipped.jpeg", photo());
    const Result result = run({"--hours", "1", src.string(), dst.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines(result.out), (std::vector<std::string>{
                                     (dst / "2005-06-01 11-00-00 - IMG_1.jpg").string(),
                                     (dst / "broken.jpg").string(),
                                     (dst / "trip" / "2006-01-02 00-30-00 - IMG_2.jpg").string(),
                                     "Completed Successfully (2/3 Files)",
                                 }));
    // The error names the file, says what is wrong and gives the library's code; no progress bar when standard error
    // is no terminal. The ".jpeg" file is counted as left out.
    EXPECT_EQ(result.err, (src / "broken.jpg").string() +
                              ": Not a JPEG picture that can be read: Not a JPEG file: starts with 0x6e 0x6f (JPEG "
                              "error #" + std::to_string(JERR_NO_SOI) + ")\n"
                              "1 other photo or video file was left out (--all-types adds them)\n");
    EXPECT_EQ(lines(result.err).size(), 2u);
    EXPECT_EQ(result.err.find('\r'), std::string::npos);
    EXPECT_EQ(fileTree(dst),
              (std::vector<std::string>{"2005-06-01 11-00-00 - IMG_1.jpg", "trip/2006-01-02 00-30-00 - IMG_2.jpg"}));
    EXPECT_EQ(captureOf(dst / "trip" / "2006-01-02 00-30-00 - IMG_2.jpg"), encodeDateTime({2006, 1, 2, 0, 30, 0, 0}));
}

TEST_F(CliRun, FlagsChangeTheNamingAndTheFileTimes) {
    writeFile(src / "a.jpg", photo());
    writeFile(src / "sub" / "b.jpg", photo());
    const auto sourceTime = morrowtide::app::dosDateTimeFromCivil(2001, 2, 3, 4, 5, 6);
    ASSERT_TRUE(morrowtide::app::setFileDate(QFile::decodeName((src / "a.jpg").c_str()), sourceTime));

    Result result = run({"--mask", "yyyymmdd_hhnnss", "--no-recurse", "--minutes", "-30", src.string(), dst.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(fileTree(dst), (std::vector<std::string>{"20050601_093000.jpg"}));
    EXPECT_EQ(morrowtide::app::sourceFileDate(QFile::decodeName((dst / "20050601_093000.jpg").c_str())),
              morrowtide::app::dosDateTimeFromCivil(2005, 6, 1, 9, 30, 0));

    // The same name again: auto rename adds "_2"; without it the file is overwritten.
    EXPECT_EQ(run({"--mask", "yyyymmdd_hhnnss", "--no-recurse", "--minutes", "-30", src.string(), dst.string()}).status,
              0);
    EXPECT_EQ(fileTree(dst), (std::vector<std::string>{"20050601_093000.jpg", "20050601_093000_2.jpg"}));
    EXPECT_EQ(run({"--mask", "yyyymmdd_hhnnss", "--no-recurse", "--no-auto-rename", "--minutes", "-30", src.string(),
                   dst.string()})
                  .status,
              0);
    EXPECT_EQ(fileTree(dst).size(), 2u);

    const fs::path kept = temp.path() / "kept";
    result = run({"--no-datetime", "--preserve-mtime", "--seconds", "7", src.string(), kept.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(fileTree(kept), (std::vector<std::string>{"a.jpg", "sub/b.jpg"}));
    EXPECT_EQ(morrowtide::app::sourceFileDate(QFile::decodeName((kept / "a.jpg").c_str())), sourceTime);
    EXPECT_EQ(captureOf(kept / "a.jpg"), encodeDateTime({2005, 6, 1, 10, 0, 7, 0}));
}

TEST_F(CliRun, SettingsFileGivesTheOptionsAndFlagsOverrideIt) {
    writeFile(src / "a.jpg", photo());
    writeFile(src / "sub" / "b.jpg", photo());
    const fs::path ini = temp.path() / "morrowtide.ini";
    writeFile(ini, "[Options]\nFileMask=yyyy *FILENAME\nRecurseFolders=0\nIncludeDateTime=1\n");

    Result result = run({"--settings", ini.string(), src.string(), dst.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(fileTree(dst), (std::vector<std::string>{"2005 a.jpg"}));

    const fs::path second = temp.path() / "second";
    result = run({"--settings", ini.string(), "--recurse", "--no-datetime", src.string(), second.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(fileTree(second), (std::vector<std::string>{"a.jpg", "sub/b.jpg"}));
}

TEST_F(CliRun, SameFolderNeedsYesWhenThereIsNoTerminalToAsk) {
    writeFile(src / "a.jpg", photo());
    const std::string before = readFile(src / "a.jpg");
    const std::string same = (src / ".").string();

    Result result = run({"--no-datetime", "--no-auto-rename", "--hours", "2", src.string(), same});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(result.err.find("--yes"), std::string::npos);
    EXPECT_EQ(readFile(src / "a.jpg"), before);

    result = run({"--no-datetime", "--no-auto-rename", "--hours", "2", "--yes", src.string(), same});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines(result.out).back(), "Completed Successfully (1 Files)");
    EXPECT_EQ(fileTree(src), (std::vector<std::string>{"a.jpg"}));
    EXPECT_EQ(captureOf(src / "a.jpg"), encodeDateTime({2005, 6, 1, 12, 0, 0, 0}));
}

TEST_F(CliRun, InterruptTerminateAndHangUpStopAfterTheFileInHand) {
    constexpr int kFiles = 1000;
    const std::string bytes = photo();
    for (int i = 0; i < kFiles; ++i) writeFile(src / ("p" + std::to_string(10000 + i) + ".jpg"), bytes);
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 128 + SIGTERM}, {SIGHUP, 128 + SIGHUP}};
    for (const auto& c : cases) {
        // Long log lines fill the pipe after a few hundred files, so the program cannot finish before the signal
        // arrives, however fast it is.
        const fs::path out = dst / std::to_string(c.signal) / std::string(200, 'd');

        Program program({"--no-datetime", src.string(), out.string()});
        program.waitForFirstLine();
        program.signal(c.signal);
        const Result result = program.finish();

        EXPECT_EQ(result.status, c.status) << c.signal << result.err;
        const std::vector<std::string> printed = lines(result.out);
        ASSERT_FALSE(printed.empty());
        const std::string summary = printed.back();
        const int processed = static_cast<int>(printed.size()) - 1;
        EXPECT_GE(processed, 1);
        EXPECT_LT(processed, kFiles);
        EXPECT_EQ(summary,
                  "Cancelled: " + std::to_string(processed) + "/" + std::to_string(kFiles) + " Files Processed.");
        // Every file begun was finished: one complete output per log line, nothing half-written.
        EXPECT_EQ(fileTree(out).size(), static_cast<std::size_t>(processed)) << c.signal;
    }
}

TEST_F(CliRun, PhotosCopiedWithoutADateChangeAreNamedAndCounted) {
    TiffBuilder undated;
    undated.ascii(undated.directory(), 0x010F, "Canon");
    writeFile(src / "a_fine.jpg", photo());
    writeFile(src / "b_plain.jpg", JpegBuilder().app0Jfif().imageData().build());
    writeFile(src / "c_undated.jpg", JpegBuilder().app1Exif(undated.build()).imageData().build());
    const std::string far = photo("9999:12:31 23:30:00");
    writeFile(src / "d_far.jpg", far);
    const Result result = run({"--hours", "1", "--no-datetime", "--no-recurse", src.string(), dst.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out).back(), "Completed Successfully (4 Files)");
    std::vector<std::string> err = lines(result.err);
    std::sort(err.begin(), err.end());
    EXPECT_EQ(err, (std::vector<std::string>{
                       (src / "b_plain.jpg").string() + ": dates not changed: no EXIF block",
                       (src / "c_undated.jpg").string() + ": dates not changed: no readable date in its EXIF block",
                       (src / "d_far.jpg").string() +
                           ": dates not changed: the offset would move a date outside the years 0001-9999",
                       "1 photo kept its dates: the offset would move a date outside the years 0001-9999",
                       "2 photos had no date to correct",
                   }));
    // The closing counts come last; the photo out of range is copied unchanged.
    EXPECT_EQ(lines(result.err).back(),
              "1 photo kept its dates: the offset would move a date outside the years 0001-9999");
    EXPECT_EQ(readFile(dst / "d_far.jpg"), far);
    EXPECT_EQ(captureOf(dst / "a_fine.jpg"), encodeDateTime({2005, 6, 1, 11, 0, 0, 0}));
}

namespace {

// The tab-separated columns of a dry run's photo lines (the closing lines have none).
std::vector<std::vector<std::string>> dryRunRows(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : lines(out)) {
        if (line.find('\t') == std::string::npos) continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        rows.push_back(fields);
    }
    return rows;
}

std::string undatedPhoto() {
    TiffBuilder tiff;
    tiff.ascii(tiff.directory(), 0x010F, "Maker");
    return JpegBuilder().app1Exif(tiff.build()).imageData().build();
}

}  // namespace

TEST_F(CliRun, XmpAndIptcCopiesMoveWithTheExifDatesAndThoseLeftAreNamed) {
    using morrowtide::test::DateCopyValues;
    using morrowtide::test::jpegWithDateCopies;
    DateCopyValues far;
    far.exif = "9999:12:31 23:30:00";
    DateCopyValues noExif;
    noExif.exif.clear();
    noExif.modifyDate = "2005-06-01T10:00:00";
    noExif.photoshopDate = "2005-06-01T10:00";
    writeFile(src / "a_copies.jpg", jpegWithDateCopies(DateCopyValues{}));
    writeFile(src / "b_far.jpg", jpegWithDateCopies(far));
    writeFile(src / "c_no_exif.jpg", jpegWithDateCopies(noExif));
    DateCopyValues stuck;  // copies only, none of which an hour can move
    stuck.exif.clear();
    stuck.xmpCreate = stuck.xmpOriginal = stuck.extendedCreate = "2005-06-01";
    stuck.iptcTime = "";
    writeFile(src / "d_stuck.jpg", jpegWithDateCopies(stuck));
    const std::vector<std::string> args = {"--hours", "1", "--no-datetime", "--no-recurse", src.string(), dst.string()};
    std::vector<std::string> dryArgs = args;
    dryArgs.insert(dryArgs.begin(), "--dry-run");
    const Result dry = run(dryArgs);
    const Result result = run(args);
    EXPECT_EQ(result.status, 0);
    // The dry run knows the copies: the same notes and closing counts as the run.
    EXPECT_EQ(dry.err, result.err);
    std::vector<std::string> notes;
    for (const auto& row : dryRunRows(dry.out)) notes.push_back(row.at(4));  // camera and correction follow
    EXPECT_EQ(notes, (std::vector<std::string>{"ok", "date out of range", "no EXIF, XMP/IPTC dates moved", "no EXIF"}));
    EXPECT_EQ(lines(result.err),
              (std::vector<std::string>{
                  (src / "a_copies.jpg").string() + ": dates left as they were: XMP-xmp xmp:ModifyDate \"yesterday\" "
                                                    "(unreadable); XMP-photoshop photoshop:DateCreated \"2005-06-01\" "
                                                    "(date only)",
                  (src / "b_far.jpg").string() +
                      ": dates not changed: the offset would move a date outside the years 0001-9999",
                  (src / "d_stuck.jpg").string() + ": dates not changed: no EXIF block",
                  (src / "d_stuck.jpg").string() + ": dates left as they were: IPTC DateCreated \"20051231\" "
                                                   "(date only); XMP-xmp xmp:CreateDate \"2005-06-01\" (date only); "
                                                   "XMP-xmp xmp:ModifyDate \"yesterday\" (unreadable); "
                                                   "XMP-exif exif:DateTimeOriginal \"2005-06-01\" (date only); "
                                                   "XMP-photoshop photoshop:DateCreated \"2005-06-01\" (date only); "
                                                   "XMP-exif exif:DateTimeDigitized \"2005-06-01\" (date only)",
                  "1 photo had no date to correct",
                  "1 photo kept its dates: the offset would move a date outside the years 0001-9999"}));
    // Every copy an hour later but those that cannot be; nothing at all moved where EXIF could not move.
    const DateCopyValues after = morrowtide::test::dateCopiesAnHourLater();
    EXPECT_EQ(readFile(dst / "a_copies.jpg"), jpegWithDateCopies(after));
    EXPECT_EQ(readFile(dst / "b_far.jpg"), jpegWithDateCopies(far));
    // Without EXIF the copies still move, and the photo counts as corrected.
    DateCopyValues noExifAfter = after;
    noExifAfter.exif.clear();
    noExifAfter.modifyDate = "2005-06-01T11:00:00";
    noExifAfter.photoshopDate = "2005-06-01T11:00";
    // (A photo with neither EXIF nor APP0 gets the standard JFIF header.)
    std::string expected = jpegWithDateCopies(noExifAfter);
    expected.insert(2, morrowtide::meta::kDefaultJfifSegment);
    EXPECT_EQ(readFile(dst / "c_no_exif.jpg"), expected);
}

TEST_F(CliRun, DryRunPrintsTheOutputsARealRunWritesAndWritesNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        bool sameFolder;
    } cases[] = {
        {"clashes, undated photos and an existing output", {"--hours", "1"}, false},
        {"one name for all", {"--mask", "yyyy", "--no-filename"}, false},
        {"overwrite mode", {"--no-datetime", "--no-auto-rename", "--yes", "--days", "-1"}, true},
        {"no auto rename into another folder", {"--no-auto-rename", "--mask", "yyyy", "--no-filename"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir scratch;
        const fs::path in = scratch.path() / "in";
        const fs::path out = c.sameFolder ? in : scratch.path() / "out";
        writeFile(in / "IMG_1.JPG", photo());
        writeFile(in / "IMG_2.JPG", photo());  // the same date
        writeFile(in / "IMG_4.JPG", photo());
        writeFile(in / "2005_3.jpg", undatedPhoto());  // keeps its name, which a later "_N" would otherwise take
        writeFile(in / "trip" / "IMG_3.jpg", photo("2006:01:01 23:30:00"));
        writeFile(in / "trip" / "undated.jpg", undatedPhoto());
        writeFile(in / "plain.jpg", JpegBuilder().app0Jfif().imageData().build());
        writeFile(in / "broken.jpg", "no jpeg here");
        if (!c.sameFolder) writeFile(out / "2005-06-01 11-00-00 - IMG_1.jpg", "stands there");

        std::vector<std::string> args = c.options;
        args.push_back(in.string());
        args.push_back(out.string());
        std::vector<std::string> dryArgs = args;
        dryArgs.insert(dryArgs.begin(), "--dry-run");
        const auto inBefore = fileTreeContents(in);
        const auto outBefore = fileTreeContents(out);
        const Result dry = run(dryArgs);
        EXPECT_EQ(fileTreeContents(in), inBefore);
        EXPECT_EQ(fileTreeContents(out), outBefore);
        EXPECT_TRUE(c.sameFolder || !fs::exists(out / "trip"));

        const Result real = run(args);
        const std::vector<std::string> written = lines(real.out);
        const auto rows = dryRunRows(dry.out);
        ASSERT_EQ(rows.size() + 1, written.size()) << dry.out << real.out;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_EQ(rows[i].size(), 7u) << dry.out;
            EXPECT_EQ((out / rows[i][1]).string(), written[i]) << rows[i][0];
        }
        // The same closing count, and the same exit status.
        EXPECT_EQ(lines(dry.out).back(), written.back());
        EXPECT_EQ(dry.status, real.status) << dry.err;
    }
}

TEST_F(CliRun, DryRunRowsGiveTheDatesAndWhatWillHappen) {
    writeFile(src / "a.jpg", photo("2024:02:28 23:30:00"));
    writeFile(src / "b.jpg", photo("2024:02:28 23:30:00"));
    writeFile(src / "u.jpg", undatedPhoto());
    writeFile(src / "p.jpg", JpegBuilder().app0Jfif().imageData().build());
    writeFile(src / "far.jpg", photo("9999:12:31 23:30:00"));
    const Result result = run({"--dry-run", "--hours", "1", src.string(), dst.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::vector<std::vector<std::string>> want = {
        {"a.jpg", "2024-02-29 00-30-00 - a.jpg", "2024-02-28 23:30:00", "2024-02-29 00:30:00", "ok", "-", "+1h"},
        {"b.jpg", "2024-02-29 00-30-00 - b.jpg", "2024-02-28 23:30:00", "2024-02-29 00:30:00", "ok", "-", "+1h"},
        {"far.jpg", "9999-12-31 23-30-00 - far.jpg", "9999-12-31 23:30:00", "9999-12-31 23:30:00",
         "date out of range", "-", "+1h"},
        {"p.jpg", "p.jpg", "-", "-", "no EXIF", "-", "+1h"},
        {"u.jpg", "u.jpg", "-", "-", "no readable date", "Maker", "+1h"},
    };
    EXPECT_EQ(dryRunRows(result.out), want) << result.out;
    EXPECT_EQ(lines(result.out).back(), "Completed Successfully (5 Files)");
    EXPECT_FALSE(fs::exists(dst));
}

TEST_F(CliRun, ReferencePhotoGivesTheOffset) {
    struct Case {
        const char* recorded;
        const char* truth;
        const char* wantCapture;  // of the photo taken at the recorded time, as exiftool would print it
    } cases[] = {
        {"2005:06:01 23:50:00", "2005-06-02T00:10:30", "2005-06-02 00-10-30"},   // across a day
        {"2005:01:31 22:00:00", "2005-02-01T01:00:00", "2005-02-01 01-00-00"},   // across a month
        {"2024:02:28 23:00:00", "2024-02-29 23:00:00", "2024-02-29 23-00-00"},   // onto a leap day
        {"2024:03:01 00:00:05", "2024-02-29T23:59:59", "2024-02-29 23-59-59"},   // back across it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.truth);
        TempDir scratch;
        const fs::path in = scratch.path() / "in";
        writeFile(in / "clock.jpg", photo(c.recorded));
        const Result result = run({"--reference", (in / "clock.jpg").string() + "=" + c.truth, "--mask",
                                   "yyyy-mm-dd hh-nn-ss", "--no-filename", in.string(), (scratch.path() / "out").string()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(fileTree(scratch.path() / "out"), (std::vector<std::string>{std::string(c.wantCapture) + ".jpg"}));
    }
}

TEST_F(CliRun, ReferenceErrorsAreUsageErrors) {
    writeFile(src / "a.jpg", photo());
    writeFile(src / "undated.jpg", undatedPhoto());
    const std::string in = src.string();
    const std::string out = dst.string();
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--reference", (src / "a.jpg").string() + "=2005-06-01T12:00:00", "--hours", "1", in, out},
         "give one or the other"},
        {{"--reference", (src / "missing.jpg").string() + "=2005-06-01T12:00:00", in, out}, "cannot be read"},
        {{"--reference", (src / "undated.jpg").string() + "=2005-06-01T12:00:00", in, out},
         "has no readable capture date"},
        {{"--reference", (src / "a.jpg").string() + "=2005-13-01T12:00:00", in, out}, "is not a date and time"},
        {{"--reference", (src / "a.jpg").string(), in, out}, "expected PHOTO=YYYY-MM-DDTHH:MM:SS"},
    };
    for (const auto& c : cases) {
        const Result result = run(c.args);
        EXPECT_EQ(result.status, 2) << c.says;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    EXPECT_FALSE(fs::exists(dst));
}

TEST_F(CliRun, CamerasAndZonesInOneRun) {
    using morrowtide::test::cameraPhoto;
    // A camera left at home (Berlin, summer time, with zone tags), a phone that followed the local time, and a
    // second camera whose clock ran five minutes slow.
    const std::string canon = cameraPhoto({"2024:07:15 12:00:00", "Canon", "Canon EOS 5D", "", "", "+02:00"});
    writeFile(src / "canon.jpg", canon);
    writeFile(src / "phone.jpg", cameraPhoto({"2024:07:15 19:00:00", "Google", "Pixel 7"}));
    writeFile(src / "nikon.jpg", cameraPhoto({"2024:07:15 18:55:00", "NIKON CORPORATION", "NIKON D70"}));
    const std::vector<std::string> args = {"--from-zone", "Europe/Berlin", "--to-zone", "Asia/Tokyo",
                                           "--camera",    "pixel=0",       "--camera",  "D70=+5m",
                                           "--mask",      "hhnnss - *FILENAME", src.string(), dst.string()};
    std::vector<std::string> dryArgs = args;
    dryArgs.insert(dryArgs.begin(), "--dry-run");
    const Result dry = run(dryArgs);
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dryRunRows(dry.out),
              (std::vector<std::vector<std::string>>{
                  {"canon.jpg", "190000 - canon.jpg", "2024-07-15 12:00:00", "2024-07-15 19:00:00", "ok",
                   "Canon EOS 5D", "Europe/Berlin to Asia/Tokyo +7h"},
                  {"nikon.jpg", "190000 - nikon.jpg", "2024-07-15 18:55:00", "2024-07-15 19:00:00", "ok",
                   "NIKON CORPORATION NIKON D70", "+5m"},
                  {"phone.jpg", "190000 - phone.jpg", "2024-07-15 19:00:00", "2024-07-15 19:00:00", "ok",
                   "Google Pixel 7", "+0s"},
              }));
    const std::vector<std::string> counts = {"Canon EOS 5D: 1 photo, Europe/Berlin to Asia/Tokyo",
                                             "NIKON CORPORATION NIKON D70: 1 photo, +5m",
                                             "Google Pixel 7: 1 photo, +0s"};
    EXPECT_EQ(lines(dry.err), counts);

    const Result real = run(args);
    EXPECT_EQ(real.status, 0) << real.err;
    EXPECT_EQ(lines(real.err), counts);
    // The zone tags are set in place with the dates; nothing else changes.
    using morrowtide::test::replacedAll;
    const std::string want = replacedAll(replacedAll(canon, "2024:07:15 12:00:00", "2024:07:15 19:00:00"), "+02:00",
                                         "+09:00");
    EXPECT_EQ(readFile(dst / "190000 - canon.jpg"), want);
    EXPECT_EQ(readFile(dst / "190000 - phone.jpg"), readFile(src / "phone.jpg"));
    EXPECT_EQ(captureOf(dst / "190000 - nikon.jpg"), encodeDateTime({2024, 7, 15, 19, 0, 0, 0}));
}

TEST_F(CliRun, CameraAndZoneArgumentsGiveClearErrors) {
    writeFile(src / "a.jpg", photo());
    const std::string in = src.string();
    const std::string out = dst.string();
    const std::string reference = (src / "a.jpg").string() + "=2005-06-01T12:00:00";
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--camera", "Canon"}, "--camera needs MODEL=OFFSET, such as \"Canon EOS=+1h\", not \"Canon\""},
        {{"--camera", "=+1h"}, "--camera needs MODEL=OFFSET"},
        {{"--camera", "Canon=+2x"}, "--camera Canon: \"+2x\" is not an offset such as +1d2h3m4s"},
        {{"--camera", "Canon="}, "--camera Canon: \"\" is not an offset"},
        {{"--camera", "Canon=1h2d"}, "\"1h2d\" is not an offset"},
        {{"--camera", "Canon=9999999999d"}, "--camera Canon: \"9999999999d\" is too large an offset"},
        {{"--camera"}, "--camera needs a value"},
        {{"--from-zone", "Europe/Berln", "--to-zone", "UTC"},
         "--from-zone: \"Europe/Berln\" is not a time zone this system knows"},
        {{"--from-zone", "UTC", "--to-zone", "Mars/Olympus"}, "--to-zone: \"Mars/Olympus\" is not a time zone"},
        {{"--from-zone", "Europe/Berlin"}, "--from-zone and --to-zone go together"},
        {{"--to-zone", "Europe/Berlin"}, "--from-zone and --to-zone go together"},
        {{"--from-zone", "UTC", "--to-zone", "Asia/Tokyo", "--hours", "1"}, "take the place of --days"},
        {{"--from-zone", "UTC", "--to-zone", "Asia/Tokyo", "--reference", reference}, "take the place of --days"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (args.size() > 1) {
            args.push_back(in);
            args.push_back(out);
        }
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << c.says;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    EXPECT_FALSE(fs::exists(dst));
}

TEST_F(CliRun, ZonesShowCopiesThatNameTheirOwnZoneAtTheirMoment) {
    using morrowtide::test::DateCopyValues;
    using morrowtide::test::jpegWithDateCopies;
    writeFile(src / "copies.jpg", jpegWithDateCopies(DateCopyValues{}));
    const Result result = run({"--from-zone", "Europe/Berlin", "--to-zone", "Asia/Tokyo", "--no-datetime",
                               src.string(), dst.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    // The wall-clock values become Tokyo's; a value with its own zone already names the right moment: it is shown
    // at that moment in Tokyo's time and offset where its designator has the room, else left as it is.
    DateCopyValues after;
    after.exif = "2005:06:01 17:00:00";
    after.extendedCreate = "2005-06-01T17:00:00";
    after.xmpCreate = "2005-06-01T17:00:00+09:00";
    EXPECT_EQ(readFile(dst / "copies.jpg"), jpegWithDateCopies(after));
    for (const char* left : {"exif:DateTimeOriginal \"2005-06-01T10:00:00.25Z\" (has its own zone)",
                             "\"233000+0200\" (has its own zone)"}) {
        EXPECT_NE(result.err.find(left), std::string::npos) << left << "\n" << result.err;
    }
}

// A run ended by a signal in the middle of JPG+CR2+XMP groups leaves every group whole: in place each group's files
// are all corrected or all as they were, in a copy all written or none. A kill may strike only in the moment a
// group's names are given.
TEST_F(CliRun, ASignalOrAKillNeverSplitsAGroup) {
    constexpr int kGroups = 400;
    std::map<std::string, std::string> originals;
    const std::string cr2 = morrowtide::test::tiffPhoto("2005:06:01 10:00:00") + std::string(20000, '\0');
    const std::string xmp =
        morrowtide::test::XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00").build();
    for (int k = 0; k < kGroups; ++k) {
        const std::string stem = "IMG_" + std::to_string(1000 + k);
        originals[stem + ".JPG"] = photo();
        originals[stem + ".CR2"] = cr2;
        originals[stem + ".xmp"] = xmp;
    }
    int cut = 0;
    for (const bool inPlace : {true, false}) {
        for (const int signal : {SIGTERM, SIGKILL, SIGKILL, SIGKILL}) {
            // Long log lines fill the pipe long before the last group, so the run cannot end before the signal.
            const fs::path in = temp.path() / ("tree" + std::to_string(++cut)) / std::string(200, 't');
            const fs::path out = inPlace ? in : temp.path() / ("copy" + std::to_string(cut)) / std::string(200, 'c');
            for (const auto& [name, bytes] : originals) writeFile(in / name, bytes);
            std::vector<std::string> args{"--hours", "1", "--all-types", "--jobs", cut % 2 == 0 ? "1" : "4"};
            if (inPlace) args.insert(args.end(), {"--no-datetime", "--no-auto-rename", "--yes"});
            args.insert(args.end(), {in.string(), out.string()});
            Program program(args);
            program.waitForFirstLine();
            ::usleep(static_cast<useconds_t>(cut * 3000));
            program.signal(signal);
            program.finish();
            SCOPED_TRACE((inPlace ? "in place, signal " : "copy, signal ") + std::to_string(signal));
            std::map<std::string, int> changed;  // per group: members corrected (in place) or written (copy)
            std::size_t outputs = 0;
            for (const auto& entry : fs::directory_iterator(out)) {
                const std::string name = entry.path().filename().string();
                // A file killed while being named in place may leave its hidden temporary name, which the next run
                // removes.
                if (name.starts_with(".")) continue;
                ++outputs;
                if (inPlace) {
                    changed[name.substr(0, name.find('.'))] += readFile(entry.path()) != originals.at(name) ? 1 : 0;
                } else {
                    changed[name.substr(name.find("IMG_"), 8)] += 1;
                }
            }
            int whole = 0;
            int split = 0;
            for (const auto& [group, members] : changed) {
                split += members == 0 || members == 3 ? 0 : 1;
                whole += members == 3 ? 1 : 0;
            }
            // A signal is heard between groups. A kill can only strike a group while its files are given their
            // names, one right after the other: at most that one group.
            EXPECT_LE(split, signal == SIGKILL ? 1 : 0);
            EXPECT_LT(whole, kGroups);
            if (inPlace) {
                EXPECT_EQ(outputs, originals.size());
            }
        }
    }
}
