// SPDX-License-Identifier: GPL-3.0-or-later
// The requests to end a program that arrive as signals - Ctrl-C (SIGINT), a session or service manager's SIGTERM,
// a closed terminal's SIGHUP - taken as the Stop button while a run is going: the photo in hand is finished and
// nothing is left half-written. The same signal a second time ends the program at once.
#pragma once

#include <csignal>

namespace morrowtide::app {

class StopSignals {
  public:
    // Catches the signals until destroyed; what was caught before is forgotten. A signal the program was started
    // to ignore (nohup) stays ignored.
    StopSignals();
    // The actions in force before come back.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked to stop, 0 while none did.
    static int caught();

  private:
    struct sigaction previous_[3] {};
};

}  // namespace morrowtide::app
