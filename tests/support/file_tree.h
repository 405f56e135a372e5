// SPDX-License-Identifier: GPL-3.0-or-later
// What a run left in a folder: the files below it, by relative path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace morrowtide::test {

// The relative paths of the regular files below `root`, sorted; empty when `root` does not exist.
std::vector<std::string> fileTree(const std::filesystem::path& root);

// Every regular file below `root` with its bytes, by relative path: two runs' outputs compare as equal maps.
std::map<std::string, std::string> fileTreeContents(const std::filesystem::path& root);

// The same with each file's modification second, for runs whose copies must agree in their file times too.
struct TimedFile {
    std::string bytes;
    std::int64_t modified = 0;
    bool operator==(const TimedFile&) const = default;
};
std::map<std::string, TimedFile> fileTreeWithTimes(const std::filesystem::path& root);
// How a test failure shows one: its size and time, not its bytes.
void PrintTo(const TimedFile& file, std::ostream* out);

}  // namespace morrowtide::test
