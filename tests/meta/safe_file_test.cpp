// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing a written file: never under a name that was not meant to be replaced, and nothing named left behind by
// a write that does not finish.
#include "meta/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
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

}  // namespace
