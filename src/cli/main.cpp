// SPDX-License-Identifier: GPL-3.0-or-later
// morrowtide-cli: the reader and the batch run without the window. A thin dispatcher; each command lives in a file
// of its own.
#include <malloc.h>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/info_command.h"
#include "cli/run_command.h"
#include "meta/version.h"

namespace {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

constexpr Command kCommands[] = {
    {"info", "show what the metadata reader understands of photos", morrowtide::cli::runInfo},
    {"run", "correct the dates of every photo under a folder", morrowtide::cli::runRun},
};

void printUsage(std::ostream& out) {
    out << "Usage: morrowtide-cli COMMAND [ARGUMENTS...]\n"
           "       morrowtide-cli COMMAND --help\n"
           "       morrowtide-cli --help | --version\n"
           "\n"
           "Commands:\n";
    for (const auto& command : kCommands) out << "  " << command.name << "\t" << command.summary << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    // Once, before any thread starts: buffers larger than half a megabyte (a raw file's read window, a photo's long
    // header) go straight back to the system when freed, instead of being kept by the heap of each pool worker that
    // freed them, so that memory follows the photos in flight rather than the number of workers.
    ::mallopt(M_MMAP_THRESHOLD, 512 * 1024);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printUsage(std::cerr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        printUsage(std::cout);
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << "morrowtide-cli " << morrowtide::kVersion << '\n';
        return 0;
    }
    for (const auto& command : kCommands) {
        if (args[0] == command.name) {
            return command.run(std::vector<std::string>(args.begin() + 1, args.end()), std::cout, std::cerr);
        }
    }
    std::cerr << "morrowtide-cli: unknown command \"" << args[0] << "\"\n\n";
    printUsage(std::cerr);
    return 2;
}
