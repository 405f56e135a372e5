// SPDX-License-Identifier: GPL-3.0-or-later
// A folder tree of hostile files for the batch run: photos with names no one would choose, files that only claim to
// be JPEGs, files cut short at every section boundary, EXIF blocks whose directories loop, whose counts are huge
// and whose offsets sit at the 32-bit limits, a FIFO, a dangling link and a link back to the top of the tree.
// Each file says what a sound run must do with it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace morrowtide::test {

enum class HostileExpect {
    kCorrected,  // written, its dates moved by the run's offset
    kRefused,    // not written; an error naming the file and starting with `message`
    kSurvives,   // either; when written the output differs from the source only in the date characters
};

enum class HostileKind { kFile, kFifo, kSymlink };

struct HostileFile {
    std::string path;  // relative to the tree's root, "/"-separated raw bytes (UTF-8 or not)
    std::string bytes;
    HostileExpect expect = HostileExpect::kCorrected;
    std::string message;  // kRefused: how the error message starts
    std::string what;     // what is hostile about it, for failure messages
    HostileKind kind = HostileKind::kFile;
    std::string linkTarget;  // kSymlink
    bool listed = true;      // false: the run must not take it (wrong extension, a folder)
};

// A file name in Latin-1, as a camera card written on another system may hold.
inline constexpr std::string_view kNotUtf8Name = "names/latin-1 \xE9t\xE9 \xE0 Z\xFCrich.jpg";

// The date every corrected photo of the tree carries before the run.
inline constexpr std::string_view kHostileDate = "2005:06:01 10:00:00";

// A small, complete photo (EXIF with DateTime, DateTimeOriginal and DateTimeDigitized, then a decodable 8x8 image),
// little- or big-endian.
std::string hostilePhoto(bool bigEndian = false, std::string_view date = kHostileDate);

// Offsets where `jpeg` can be cut at a section boundary: the start of each marker, the byte after its 0xFF, the
// middle of its length field and of its payload, the end of the scan header, one byte into the scan data, just
// before and inside the end-of-image marker. Sorted, without duplicates, all less than the size.
std::vector<std::size_t> sectionCuts(std::string_view jpeg);
// The offset just after the first start-of-scan header (the JPEG header reader needs everything before it), or 0.
std::size_t scanDataStart(std::string_view jpeg);

// True when `output` has the length of `source` and every byte that differs lies in one of at most three 19-byte
// windows (the three date values). Otherwise false, with the first difference that breaks the rule in `why`.
bool differsOnlyInDates(std::string_view source, std::string_view output, std::string* why = nullptr);

// The whole tree, in no particular order.
std::vector<HostileFile> hostileTree();

// Writes the files under `root` (created when missing); links and FIFOs as such.
void writeHostileTree(const std::filesystem::path& root, const std::vector<HostileFile>& files);

}  // namespace morrowtide::test
