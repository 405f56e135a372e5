// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing a written file: never under a name that was not meant to be replaced, and nothing named left behind by
// a write that does not finish.
#include "meta/safe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/exif_builder.h"

using namespace morrowtide::meta;
using morrowtide::test::readFile;
using morrowtide::test::TempDir;
using morrowtide::test::writeFile;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SafeFileWriter, NothingIsNamedUntilCommitAndAnUnfinishedWriteLeavesNothing) {
    TempDir dir;
    const std::string path = (dir.path() / "new.jpg").string();
    {
        SafeFileWriter out(path);
        out.write("content");
        // Unnamed where the file system allows it; the hidden temporary name elsewhere.
        const std::vector<std::string> expected =
            out.temporaryPath().empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{fs::path(out.temporaryPath()).filename()};
        EXPECT_EQ(entries(dir.path()), expected);
    }
    EXPECT_TRUE(entries(dir.path()).empty());

    OutputTarget timed(path);
    timed.modified = timespec{1000000000, 0};
    SafeFileWriter out(timed);
    out.write("content");
    out.commit();
    EXPECT_EQ(readFile(path), "content");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);  // set before the name appeared
}

TEST(SafeFileWriter, ATakenNameIsNeverReplacedUnlessMeantTo) {
    TempDir dir;
    const fs::path taken = dir.path() / "photo.jpg";
    struct Case {
        const char* what;
        bool replace;
        bool withNext;
        std::string wantError;  // empty: published
        std::vector<std::string> wantEntries;
    } cases[] = {
        {"replace", true, false, "", {"photo.jpg"}},
        {"another run took it, next name", false, true, "", {"photo.jpg", "photo_2.jpg"}},
        {"another run took it, no next name", false, false,
         "Cannot create file \"" + taken.string() + "\". File exists", {"photo.jpg"}},
    };
    for (const Case& c : cases) {
        for (const auto& name : entries(dir.path())) fs::remove(dir.path() / name);
        writeFile(taken, "theirs");
        OutputTarget target(taken.string());
        target.replace = c.replace;
        int asked = 0;
        if (c.withNext) {
            target.nextName = [&](OutputTarget& next) {
                next.name = "photo_" + std::to_string(++asked + 1) + ".jpg";
                next.path = (dir.path() / next.name).string();
                return true;
            };
        }
        std::string error;
        try {
            SafeFileWriter out(target);
            out.write("mine");
            out.commit();
        } catch (const WriteError& failure) {
            error = failure.what();
        }
        EXPECT_EQ(error, c.wantError) << c.what;
        EXPECT_EQ(entries(dir.path()), c.wantEntries) << c.what;
        EXPECT_EQ(readFile(taken), c.replace ? "mine" : "theirs") << c.what;
        if (c.withNext) {
        EXPECT_EQ(readFile(dir.path() / "photo_2.jpg"), "mine") << c.what;
    }
    }
}

// A group's files appear together under one name: none before the last is held, all moved on together when another
// program took one of their names meanwhile (before the first was named, or between two), none when the group goes
// unpublished.
TEST(PublishGroup, FilesAppearTogetherUnderOneName) {
    struct Case {
        const char* name;
        std::vector<std::string> takenMeanwhile;  // names another program holds when the group is named
        std::vector<std::string> expected;         // the folder afterwards
    };
    const std::vector<Case> cases = {
        {"nothing taken", {}, {"IMG.CR2", "IMG.jpg", "IMG.xmp"}},
        // IMG.CR2 is named first (path order), then IMG.jpg is found taken: IMG.CR2 moves on with the others.
        {"the second taken", {"IMG.jpg"}, {"IMG.jpg", "IMG_2.CR2", "IMG_2.jpg", "IMG_2.xmp"}},
        {"the first taken", {"IMG.CR2"}, {"IMG.CR2", "IMG_2.CR2", "IMG_2.jpg", "IMG_2.xmp"}},
        // The next name is partly taken too: all move on once more.
        {"two names taken", {"IMG.xmp", "IMG_2.jpg"}, {"IMG.xmp", "IMG_2.jpg", "IMG_3.CR2", "IMG_3.jpg", "IMG_3.xmp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        PublishGroup group;
        int moves = 0;
        for (const std::string name : {"IMG.xmp", "IMG.jpg", "IMG.CR2"}) {
            OutputTarget target((dir.path() / name).string());
            target.replace = false;
            target.group = &group;
            SafeFileWriter out(target);
            out.write(name);
            out.commit();
            EXPECT_EQ(entries(dir.path()), std::vector<std::string>{}) << "held, not named";
        }
        for (const std::string& name : c.takenMeanwhile) writeFile(dir.path() / name, "theirs");
        const std::vector<std::string> paths = group.publishAll([&](std::vector<std::string>& names) {
            ++moves;
            for (std::string& name : names) {
                const std::size_t dot = name.find('.');
                name = "IMG_" + std::to_string(moves + 1) + name.substr(dot);
            }
            return true;
        });
        EXPECT_EQ(entries(dir.path()), c.expected);
        EXPECT_EQ(paths.size(), 3u);
        for (const std::string& path : paths) {
            EXPECT_EQ(readFile(path), "IMG" + fs::path(path).extension().string());
        }
        for (const std::string& name : c.takenMeanwhile) EXPECT_EQ(readFile(dir.path() / name), "theirs");
    }
    // A group let go leaves nothing behind.
    TempDir dir;
    {
        PublishGroup group;
        OutputTarget target((dir.path() / "IMG.jpg").string());
        target.group = &group;
        SafeFileWriter out(target);
        out.write("x");
        out.commit();
        group.discardAll();
    }
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{});
}

timespec now() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

// An open folder, closed at the end of the scope.
struct FolderFd {
    explicit FolderFd(const fs::path& path) : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~FolderFd() {
        if (fd >= 0) ::close(fd);
    }
    int fd;
};

// What a killed run leaves where the file system has no unnamed files: its writer's hidden temporary file, with
// content but never published nor removed. Answers its name.
std::string leftByKilledWriter(const fs::path& folder, const std::string& name) {
    const pid_t child = ::fork();
    if (child == 0) {
        SafeFileWriter out(OutputTarget((folder / name).string()), UnnamedFiles::Never);
        out.write("half a photo");
        ::_exit(0);  // no destructor runs, as under SIGKILL
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const std::string& entry : entries(folder)) {
        if (entry.starts_with("." + name + ".")) return entry;
    }
    return {};
}

TEST(SafeFileWriter, TemporaryNamesAreRecognisedExactly) {
    const struct {
        std::string name;
        bool temporary;
    } cases[] = {
        {".IMG_0042.jpg.123456789.tmp", true},
        {".a.4294967295.tmp", true},
        {"." + std::string(200, 'n') + ".1.tmp", true},
        {"." + std::string(201, 'n') + ".1.tmp", false},  // longer than a writer ever cuts a name
        {".a.4294967296.tmp", false},                       // more than 32 bits
        {".a.012.tmp", false},                              // a leading zero no number is written with
        {".foo.12ab.tmp", false},
        {"foo.123.tmp", false},
        {"..123.tmp", false},  // no name
    };
    for (const auto& c : cases) EXPECT_EQ(isTemporaryName(c.name), c.temporary) << c.name;
}

TEST(SafeFileWriter, StaleTemporaryFilesOfAKilledRunAreRemovedAndNothingElse) {
    TempDir dir;
    const std::string stale = leftByKilledWriter(dir.path(), "IMG_0042.jpg");
    ASSERT_TRUE(isTemporaryName(stale)) << stale;
    writeFile(dir.path() / "IMG_0042.jpg", "the original");
    for (const char* other : {".foo.12ab.tmp", "foo.123.tmp", ".IMG_1.jpg.0123.tmp", ".hidden.jpg"}) {
        writeFile(dir.path() / other, "theirs");
    }
    fs::create_directory(dir.path() / ".folder.1.tmp");
    fs::create_symlink("IMG_0042.jpg", dir.path() / ".link.2.tmp");
    // File times are taken from a coarse clock: the run starts clearly after the files above were made.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const timespec runStart = now();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const std::string newer = leftByKilledWriter(dir.path(), "IMG_0043.jpg");
    ASSERT_TRUE(isTemporaryName(newer)) << newer;
    // A file time set back, as a writer does just before publishing, does not make the file look stale: its status
    // changed when the time was set.
    const timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir.path() / newer).c_str(), old, 0), 0);

    const timespec afterAll = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return now();
    }();
    const std::vector<std::string> before = entries(dir.path());
    FolderFd folder(dir.path());
    EXPECT_EQ(removeStaleTemporaries(folder.fd, runStart), 1);
    std::vector<std::string> kept = before;
    std::erase(kept, stale);
    EXPECT_EQ(entries(dir.path()), kept);
    EXPECT_EQ(readFile(dir.path() / "IMG_0042.jpg"), "the original");
    // Later, that one is stale too; the look-alikes never are.
    EXPECT_EQ(removeStaleTemporaries(folder.fd, afterAll), 1);
    std::erase(kept, newer);
    EXPECT_EQ(entries(dir.path()), kept);
}

TEST(SafeFileWriter, ARunSweepsEachFolderOnceAndKeepsFilesOfItsLastTwoSeconds) {
    TempDir dir;
    fs::create_directory(dir.path() / "a");
    fs::create_directory(dir.path() / "b");
    const std::string inA = leftByKilledWriter(dir.path() / "a", "1.jpg");
    const std::string inB = leftByKilledWriter(dir.path() / "b", "2.jpg");
    FolderFd a(dir.path() / "a");
    FolderFd b(dir.path() / "b");
    {
        // Started a second after the files were left: FAT's two-second file times could be this run's own.
        StaleTemporarySweep sweep(timespec{now().tv_sec + 1, 0});
        sweep.sweepOnce(a.fd);
        EXPECT_EQ(entries(dir.path() / "a"), std::vector<std::string>{inA});
    }
    StaleTemporarySweep sweep(timespec{now().tv_sec + 3, 0});
    sweep.sweepOnce(a.fd);
    EXPECT_TRUE(entries(dir.path() / "a").empty());
    // Left after this run's sweep of the folder: the run does not look again.
    const std::string later = leftByKilledWriter(dir.path() / "a", "3.jpg");
    sweep.sweepOnce(a.fd);
    EXPECT_EQ(entries(dir.path() / "a"), std::vector<std::string>{later});
    // Another folder is swept the first time the run writes there.
    EXPECT_EQ(entries(dir.path() / "b"), std::vector<std::string>{inB});
    sweep.sweepOnce(b.fd);
    EXPECT_TRUE(entries(dir.path() / "b").empty());
}

// A file of `size` bytes with `data` at each offset and holes between.
std::string makeSparse(const fs::path& path, std::int64_t size, const std::vector<std::pair<std::int64_t, std::string>>& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [at, bytes] : data) {
        EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)), static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
    return path.string();
}

std::int64_t bytesOnDisk(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return static_cast<std::int64_t>(info.st_blocks) * 512;
}

ssize_t refuseAsOtherFileSystem(int, off_t*, int, std::size_t) {
    errno = EXDEV;
    return -1;
}

TEST(SafeFileWriter, ASparseSourceStaysSparseAndReadsTheSame) {
    TempDir dir;
    constexpr std::int64_t kSize = std::int64_t{16} << 20;
    const std::string data(100000, 'd');
    const struct {
        const char* what;
        std::vector<std::pair<std::int64_t, std::string>> extents;
        std::int64_t from;  // where the copy starts, after a header written first
    } layouts[] = {
        {"data in the middle", {{kSize / 2, "a few bytes"}}, 0},
        {"data at both ends", {{0, data}, {kSize - 7, "the end"}}, 0},
        {"from within a data extent", {{0, data}, {kSize / 2, data}}, 5000},
        {"from within a hole", {{kSize / 2, data}}, kSize / 4},
    };
    for (const auto& layout : layouts) {
        const std::string path = makeSparse(dir.path() / "in.mp4", kSize, layout.extents);
        if (bytesOnDisk(path) >= kSize / 2) GTEST_SKIP() << "the file system keeps no holes";
        for (const KernelCopy& copy : {KernelCopy{}, KernelCopy{refuseAsOtherFileSystem}}) {
            SourceFile source;
            ASSERT_EQ(source.open(path), 0);
            const std::string out = (dir.path() / "out.mp4").string();
            SafeFileWriter writer(out);
            writer.write("head");
            writer.copyFrom(source, layout.from, kSize - layout.from, copy);
            writer.commit();
            EXPECT_EQ(readFile(out), "head" + readFile(path).substr(static_cast<std::size_t>(layout.from)))
                << layout.what;
            EXPECT_LE(bytesOnDisk(out), bytesOnDisk(path) + 65536) << layout.what;
        }
    }
}

TEST(SafeFileWriter, ASourceThatShrinksWhileCopiedIsNamedInTheMessage) {
    TempDir dir;
    const std::string whole = std::string(300000, 'x');
    for (const bool sparse : {false, true}) {
        for (const KernelCopy& copy : {KernelCopy{}, KernelCopy{refuseAsOtherFileSystem}}) {
            const std::string path = sparse ? makeSparse(dir.path() / "in.mov", 1 << 24, {{0, "data"}})
                                            : dir.write("in.mov", whole);
            SourceFile source;
            ASSERT_EQ(source.open(path), 0);
            fs::resize_file(path, 1000);
            std::string message;
            try {
                SafeFileWriter writer((dir.path() / "out.mov").string());
                writer.copyFrom(source, 0, source.size(), copy);
            } catch (const WriteError& error) {
                message = error.what();
            }
            EXPECT_EQ(message, shrankWhileReadMessage(path)) << sparse;
            EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"in.mov"});
        }
    }
}

}  // namespace
