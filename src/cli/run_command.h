// SPDX-License-Identifier: GPL-3.0-or-later
// `morrowtide-cli run SOURCE DEST`: the batch run from a terminal.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace morrowtide::cli {

// Exit statuses of the run command.
inline constexpr int kRunAllProcessed = 0;
inline constexpr int kRunSomeFailed = 1;
inline constexpr int kRunUsageError = 2;
inline constexpr int kRunStopped = 130;

// What the command may do with the terminal it was started from.
struct RunTerminal {
    bool canAsk = false;        // standard input is a terminal: the overwrite question can be asked there
    bool showProgress = false;  // standard error is a terminal: draw a progress bar on it
};

// Log lines and the summary go to `out`, errors and the progress bar to `err`; questions are read from standard
// input. Ctrl-C stops the run after the file in hand.
int runRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const RunTerminal& terminal);

// The help text of the command.
const char* runHelp();

}  // namespace morrowtide::cli
