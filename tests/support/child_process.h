// SPDX-License-Identifier: GPL-3.0-or-later
// Running a program of the project as a user would: standard input from /dev/null, both outputs captured, and
// optionally under a file-size limit (a disk that fills up) or in another working folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morrowtide::test {

struct ChildOptions {
    // RLIMIT_FSIZE in bytes: a write past it fails with EFBIG (SIGXFSZ is ignored), as on a full disk.
    std::optional<unsigned long long> fileSizeLimit;
    std::string workingFolder;                                     // empty: the caller's
    std::vector<std::pair<std::string, std::string>> environment;  // set in addition to the caller's
    int timeoutSeconds = 120;                                      // then the child is killed
    // Run as this user and group (with no other groups) instead of the caller: a test that runs as root sees what
    // a plain user would. Needs root.
    std::optional<unsigned> userId;
};

// The user a root test drops to: "nobody".
inline constexpr unsigned kUnprivilegedUser = 65534;

struct ChildResult {
    int exitCode = -1;   // -1 when the program did not exit normally
    int termSignal = 0;  // the signal that ended it, 0 when it exited
    bool timedOut = false;
    std::string out;
    std::string err;

    bool exited() const { return exitCode >= 0; }
};

// Runs argv[0] (a path, not looked up in PATH) with the arguments and waits for it. Throws std::runtime_error when
// the program cannot be started at all.
ChildResult runChild(const std::vector<std::string>& argv, const ChildOptions& options = {});

// A readable description for test failure messages: "exit 1", "signal 11 (Segmentation fault)", "timed out".
std::string describe(const ChildResult& result);

}  // namespace morrowtide::test
