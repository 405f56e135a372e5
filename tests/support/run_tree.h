// SPDX-License-Identifier: GPL-3.0-or-later
// A source tree for comparing whole runs, and a snapshot of a tree to compare their outputs by. The tree holds what
// makes the order of a run matter: photos taken in the same second in one folder (their names get "_2", "_3", ...),
// a name group (a JPEG with its raw file and sidecar, and a second JPEG of the same second), photos that fail while
// being read (cut short, a FIFO, a link that leads nowhere) and a photo without a date.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace morrowtide::test {

// Writes the tree under `root` (created). With `allTypes` off the raw file and the sidecar are left out of a run.
void writeRunTree(const std::filesystem::path& root);

// The folder of the tree whose outputs a run cannot write once blockRunTreeOutput has put a file in its place.
inline constexpr char kBlockedFolder[] = "c";
// Puts a file where the tree's blocked folder would go below `destination`: its photos fail at their writing.
void blockRunTreeOutput(const std::filesystem::path& destination);

// Every entry below a folder by its relative path: a folder as "/", a file as its bytes and modification second.
struct TreeEntry {
    std::string bytes;
    std::int64_t modified = 0;
    bool operator==(const TreeEntry&) const = default;
};
using TreeSnapshot = std::map<std::string, TreeEntry>;
TreeSnapshot snapshotTree(const std::filesystem::path& root);

}  // namespace morrowtide::test
