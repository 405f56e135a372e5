// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/stop_signals.h"

#include <csignal>
#include <iterator>

namespace morrowtide::app {

namespace {

// Written by the handler, which can reach nothing else.
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void onStopSignal(int signal) {
    caughtSignal = signal;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

StopSignals::StopSignals() {
    caughtSignal = 0;
    static_assert(std::size(kStopSignals) == std::size(decltype(previous_){}));
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], nullptr, &previous_[i]);
        if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kStopSignals[i], &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) ::sigaction(kStopSignals[i], &previous_[i], nullptr);
}

int StopSignals::caught() {
    return caughtSignal;
}

}  // namespace morrowtide::app
