// SPDX-License-Identifier: GPL-3.0-or-later
// `morrowtide-cli info FILE...`: shows what the metadata reader understood of each file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace morrowtide::cli {

// Prints the report of every file to `out`; problems with the arguments go to `err`. Returns the exit status:
// 0 when every file could be read (whether or not it holds metadata), 1 when a file is missing or unreadable,
// 2 for a usage error.
int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The help text of the command.
const char* infoHelp();

}  // namespace morrowtide::cli
