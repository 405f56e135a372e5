// SPDX-License-Identifier: GPL-3.0-or-later
// Writing fails at every step of one photo's sequence, in one run of the real program: the destination folder cannot
// be made (a file stands where it should be), the output cannot be created (a folder has its name), the disk fills
// up during the copy (a file-size limit on the process), the file time cannot be set (a date before 1980). Each
// failure must cost that photo only: the run goes on, the message is the program's own, and no source and no
// earlier output is changed or lost.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "meta/date_time.h"
#include "meta/img_data.h"
#include "support/child_process.h"
#include "support/exif_builder.h"
#include "support/hostile_tree.h"

namespace fs = std::filesystem;
using morrowtide::test::readFile;
using morrowtide::test::writeFile;
using namespace morrowtide::test;
using morrowtide::meta::encodeDateTime;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

double captureOf(const fs::path& path) {
    morrowtide::meta::ImgData data;
    data.readImageFile(path.string());
    return data.exif() != nullptr ? data.exif()->captureDateTime() : 0.0;
}

// A photo of about 180 KB: three large APP2 sections between the EXIF section and the image.
std::string largePhoto() {
    const std::string photo = hostilePhoto();
    const std::size_t exifEnd = 4 + static_cast<unsigned char>(photo[4]) * 256u + static_cast<unsigned char>(photo[5]);
    JpegBuilder filler(false);
    for (int i = 0; i < 3; ++i) filler.segment(0xE2, std::string(60000, static_cast<char>('a' + i)));
    return photo.substr(0, exifEnd) + filler.build() + photo.substr(exifEnd);
}

constexpr unsigned long long kDiskRoom = 100 * 1024;

TEST(WriteFaults, EveryFailingStepCostsOnlyItsOwnPhoto) {
    TempDir temp;
    const fs::path src = temp.path() / "in";
    const fs::path dst = temp.path() / "out";
    const std::string name = "2005-06-01 11-00-00 - ";
    std::map<std::string, std::string> sources = {
        {"a/1.jpg", hostilePhoto()},                              // written
        {"b/2.jpg", hostilePhoto()},                              // its destination folder is a file
        {"c/3.jpg", hostilePhoto()},                              // its output name is taken by a folder
        {"d/4.jpg", largePhoto()},                                // the disk fills up during the copy
        {"e/5.jpg", hostilePhoto(false, "1975:01:01 10:00:00")},  // its file time cannot be set
        {"f/6.jpg", hostilePhoto()},                              // written after all that
    };
    for (const auto& [path, bytes] : sources) writeFile(src / path, bytes);
    writeFile(dst / "b", "a file where the folder b should be");
    fs::create_directories(dst / "c" / (name + "3.jpg"));
    // The output of an earlier run, which the failed copy would have replaced.
    const std::string earlier = hostilePhoto(false, "2005:06:01 11:00:00");
    writeFile(dst / "d" / (name + "4.jpg"), earlier);
    const auto started = fs::file_time_type::clock::now();

    ChildOptions options;
    options.fileSizeLimit = kDiskRoom;
    const ChildResult result =
        runChild({MORROWTIDE_CLI_PATH, "run", "--hours", "1", "--no-auto-rename", src.string(), dst.string()}, options);
    ASSERT_TRUE(result.exited()) << describe(result) << "\n" << result.err;
    EXPECT_EQ(result.exitCode, 1);

    const std::vector<std::string> expectedErrors = {
        (src / "b/2.jpg").string() + ": Cannot create file \"" + (dst / "b" / (name + "2.jpg")).string() +
            "\". Not a directory",
        (src / "c/3.jpg").string() + ": Cannot create file \"" + (dst / "c" / (name + "3.jpg")).string() +
            "\". Is a directory",
        (src / "d/4.jpg").string() + ": Stream write error in \"" + (dst / "d" / (name + "4.jpg")).string() +
            "\". File too large",
    };
    EXPECT_EQ(lines(result.err), expectedErrors);
    const std::vector<std::string> out = lines(result.out);
    ASSERT_EQ(out.size(), 7u) << result.out;
    EXPECT_EQ(out.back(), "Completed Successfully (3/6 Files)");

    // The photos around the failures are corrected; the one before 1980 keeps the time it was written at.
    const double shifted = encodeDateTime({2005, 6, 1, 11, 0, 0});
    EXPECT_EQ(captureOf(dst / "a" / (name + "1.jpg")), shifted);
    EXPECT_EQ(captureOf(dst / "f" / (name + "6.jpg")), shifted);
    const fs::path early = dst / "e" / "1975-01-01 11-00-00 - 5.jpg";
    ASSERT_TRUE(fs::exists(early));
    EXPECT_EQ(captureOf(early), encodeDateTime({1975, 1, 1, 11, 0, 0}));
    EXPECT_GE(fs::last_write_time(early), started - std::chrono::seconds(5));

    // Nothing is lost: the earlier output, the file in the folder's place, every source; nothing half-written.
    EXPECT_EQ(readFile(dst / "d" / (name + "4.jpg")), earlier);
    EXPECT_EQ(readFile(dst / "b"), "a file where the folder b should be");
    EXPECT_TRUE(fs::is_directory(dst / "c" / (name + "3.jpg")));
    for (const auto& [path, bytes] : sources) EXPECT_EQ(readFile(src / path), bytes) << path << " changed";
    for (const auto& entry : fs::recursive_directory_iterator(dst)) {
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path() << " left behind";
    }
}

// The same full disk when a photo is corrected in place (same folder, same name): the original must survive whole.
TEST(WriteFaults, FullDiskNeverCostsTheOriginalWhenCorrectingInPlace) {
    TempDir temp;
    const fs::path folder = temp.path() / "photos";
    const std::string big = largePhoto();
    const std::string small = hostilePhoto();
    writeFile(folder / "big.jpg", big);
    writeFile(folder / "small.jpg", small);

    ChildOptions options;
    options.fileSizeLimit = kDiskRoom;
    const ChildResult result = runChild({MORROWTIDE_CLI_PATH, "run", "--hours", "1", "--no-datetime",
                                         "--no-auto-rename", "--yes", folder.string(), folder.string()},
                                        options);
    ASSERT_TRUE(result.exited()) << describe(result);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lines(result.err), std::vector<std::string>{(folder / "big.jpg").string() + ": Stream write error in \"" +
                                                          (folder / "big.jpg").string() + "\". File too large"});
    EXPECT_EQ(readFile(folder / "big.jpg"), big);
    EXPECT_EQ(captureOf(folder / "small.jpg"), encodeDateTime({2005, 6, 1, 11, 0, 0}));
    std::string why;
    EXPECT_TRUE(differsOnlyInDates(small, readFile(folder / "small.jpg"), &why)) << why;
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++entries;
    EXPECT_EQ(entries, 2) << "a temporary file was left behind";
}

// What a plain user meets: a photo they may not write, a folder they may not read, a destination they may not write
// in. The test drops to an unprivileged user where it runs as root.
TEST(WriteFaults, WhatTheUserMayNotDoIsReportedAsSuchAndChangesNothing) {
    TempDir temp;
    const fs::path src = temp.path() / "in";
    const fs::path locked = temp.path() / "locked";
    const std::string photo = hostilePhoto();
    writeFile(src / "mine.jpg", photo);
    writeFile(src / "theirs.jpg", photo);
    writeFile(src / "closed" / "hidden.jpg", photo);
    fs::create_directories(locked);
    ChildOptions options;
    if (::geteuid() == 0) {
        options.userId = kUnprivilegedUser;
        for (const fs::path& path : {src, src / "mine.jpg", src / "closed", src / "closed" / "hidden.jpg"}) {
            ASSERT_EQ(::chown(path.c_str(), kUnprivilegedUser, kUnprivilegedUser), 0);
        }
    }
    fs::permissions(temp.path(), fs::perms(0755));
    fs::permissions(src / "theirs.jpg", fs::perms(0444));  // another owner's photo when dropped; read-only anyhow
    fs::permissions(src / "closed", fs::perms(0));
    fs::permissions(locked, fs::perms(0555));

    // In place: the photo that may not be written is refused, the other corrected; the closed folder is named.
    ChildResult result = runChild({MORROWTIDE_CLI_PATH, "run", "--hours", "1", "--no-datetime", "--no-auto-rename",
                                   "--yes", src.string(), src.string()},
                                  options);
    ASSERT_TRUE(result.exited()) << describe(result) << result.err;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lines(result.err),
              (std::vector<std::string>{
                  "Cannot read folder \"" + (src / "closed").string() + "\". Permission denied",
                  (src / "theirs.jpg").string() + ": Cannot create file \"" + (src / "theirs.jpg").string() +
                      "\". Permission denied",
                  "1 folder could not be read; their photos were not listed",
              }));
    EXPECT_EQ(readFile(src / "theirs.jpg"), photo);
    EXPECT_EQ(captureOf(src / "mine.jpg"), encodeDateTime({2005, 6, 1, 11, 0, 0}));

    // A destination the user may not write in is reported as that, not as a missing folder.
    result = runChild({MORROWTIDE_CLI_PATH, "run", "--no-recurse", src.string(), (locked / "sub").string()}, options);
    ASSERT_TRUE(result.exited()) << describe(result);
    const std::vector<std::string> errors = lines(result.err);
    ASSERT_EQ(errors.size(), 2u) << result.err;
    for (const std::string& error : errors) EXPECT_TRUE(error.ends_with("\". Permission denied")) << error;
    fs::permissions(src / "closed", fs::perms(0755));
}

}  // namespace
