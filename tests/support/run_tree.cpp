// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/run_tree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"
#include "support/hostile_tree.h"

namespace morrowtide::test {

namespace fs = std::filesystem;

namespace {

// "2005:06:01 10:MM:00": one minute per photo, so that the names follow the list unless a test wants a clash.
std::string minute(int m) {
    const std::string mm = (m < 10 ? "0" : "") + std::to_string(m);
    return "2005:06:01 10:" + mm + ":00";
}

// One file time for every file of the tree, so that two trees written a moment apart compare equal.
void fixTime(const fs::path& file) {
    const timespec times[2] = {{0, UTIME_OMIT}, {1136073600, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

}  // namespace

void writeRunTree(const fs::path& root) {
    constexpr const char* kClash = "2005:06:01 10:00:00";
    // a/: every third photo taken in the same second as the first.
    for (int i = 0; i < 12; ++i) {
        const std::string name = "a/p" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".jpg";
        writeFile(root / name, hostilePhoto(i % 2 == 1, i % 3 == 0 ? kClash : minute(i + 1)));
    }
    // b/: a JPEG, its raw file and its sidecar share a new name; a second JPEG of the same second gets "_2".
    writeFile(root / "b/IMG_1.JPG", hostilePhoto(false, kClash));
    writeFile(root / "b/IMG_1.CR2", tiffPhoto(kClash));
    writeFile(root / "b/IMG_1.xmp",
              XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00").build());
    writeFile(root / "b/IMG_2.jpg", hostilePhoto(true, kClash));
    // c/: written only where nothing blocks its output folder.
    writeFile(root / kBlockedFolder / "q1.jpg", hostilePhoto(false, minute(30)));
    writeFile(root / kBlockedFolder / "q2.jpg", hostilePhoto(false, minute(31)));
    // d/: photos that fail while being read, and one without a date.
    writeFile(root / "d/cut.jpg", hostilePhoto().substr(0, 100));
    fs::create_directories(root / "d");
    ::mkfifo((root / "d/fifo.jpg").c_str(), 0644);
    fs::create_symlink("nowhere.jpg", root / "d/gone.jpg");
    writeFile(root / "d/plain.jpg", JpegBuilder().app0Jfif().imageData().build());
    // e/: more photos after the failures, again with clashes.
    for (int i = 0; i < 12; ++i) {
        const std::string name = "e/r" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".jpg";
        writeFile(root / name, hostilePhoto(false, i % 4 == 0 ? kClash : minute(i + 40)));
    }
    // The photos that keep their source's time then get the same copies in both.
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !entry.is_symlink()) fixTime(entry.path());
    }
}

void blockRunTreeOutput(const fs::path& destination) {
    writeFile(destination / kBlockedFolder, "a file where a folder would go");
    fixTime(destination / kBlockedFolder);
}

}  // namespace morrowtide::test
