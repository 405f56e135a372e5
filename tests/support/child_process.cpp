// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace morrowtide::test {

namespace {

// Drains both pipes until both are closed or the deadline passes.
bool collect(int outFd, int errFd, ChildResult& result, std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return ready == 0 ? false : true;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

}  // namespace

ChildResult runChild(const std::vector<std::string>& argv, const ChildOptions& options) {
    if (argv.empty()) throw std::invalid_argument("runChild: no program");
    // Everything the child needs is prepared before fork(): after it only async-signal-safe calls are allowed.
    std::vector<std::string> args = argv;
    std::vector<char*> argPointers;
    for (auto& arg : args) argPointers.push_back(arg.data());
    argPointers.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        bool replaced = false;
        for (const auto& [name, value] : options.environment) replaced = replaced || text.starts_with(name + "=");
        if (!replaced) envStrings.push_back(text);
    }
    for (const auto& [name, value] : options.environment) envStrings.push_back(name + "=" + value);
    std::vector<char*> envPointers;
    for (auto& entry : envStrings) envPointers.push_back(entry.data());
    envPointers.push_back(nullptr);

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        throw std::runtime_error("pipe");
    }
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull < 0 || ::dup2(devNull, 0) < 0 || ::dup2(outPipe[1], 1) < 0 || ::dup2(errPipe[1], 2) < 0) {
            ::_exit(126);
        }
        if (options.userId && (::setgroups(0, nullptr) != 0 || ::setgid(*options.userId) != 0 ||
                               ::setuid(*options.userId) != 0)) {
            ::_exit(126);
        }
        if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) ::_exit(126);
        if (options.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
            const rlimit limit{static_cast<rlim_t>(*options.fileSizeLimit),
                               static_cast<rlim_t>(*options.fileSizeLimit)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        }
        ::execve(argPointers[0], argPointers.data(), envPointers.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    if (!collect(outPipe[0], errPipe[0], result, deadline)) {
        result.timedOut = true;
        ::kill(pid, SIGKILL);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
    if (result.exitCode == 127) throw std::runtime_error("cannot start " + argv[0]);
    return result;
}

std::string describe(const ChildResult& result) {
    if (result.timedOut) return "timed out";
    if (result.termSignal != 0) {
        return "signal " + std::to_string(result.termSignal) + " (" + ::strsignal(result.termSignal) + ")";
    }
    return "exit " + std::to_string(result.exitCode);
}

}  // namespace morrowtide::test
