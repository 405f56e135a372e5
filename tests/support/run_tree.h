// SPDX-License-Identifier: GPL-3.0-or-later
// A source tree for comparing whole runs. It holds what makes the order of a run matter: photos taken in the same
// second in one folder (their names get "_2", "_3", ...), a name group (a JPEG with its raw file and sidecar, and a
// second JPEG of the same second), photos that fail while being read (cut short, a FIFO, a link that leads nowhere)
// or written (their output folder blocked), and a photo without a date.
#pragma once

#include <filesystem>

namespace morrowtide::test {

// Writes the tree under `root` (created). With `allTypes` off the raw file and the sidecar are left out of a run.
void writeRunTree(const std::filesystem::path& root);

// The folder of the tree whose outputs a run cannot write once blockRunTreeOutput has put a file in its place.
inline constexpr char kBlockedFolder[] = "c";
// Puts a file where the tree's blocked folder would go below `destination`: its photos fail at their writing.
void blockRunTreeOutput(const std::filesystem::path& destination);

}  // namespace morrowtide::test
