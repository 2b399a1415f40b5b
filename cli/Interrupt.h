#pragma once
// Ctrl-C, SIGTERM and SIGHUP during a long run (extract, pack): the signal is
// recorded instead of ending the process, so that the run can remove what it
// was writing and end as the shell expects, with 128 plus the signal's number.

#include "cli/CliHost.h"

#include <csignal>

namespace sga::cli {

// Catches the three signals for as long as it lives; restores the earlier
// handlers when destroyed. The first signal caught is kept.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // The signal caught since the scope began, 0 when none. Safe from any thread.
    static int caught();

private:
    struct sigaction oldInt_ {}, oldTerm_ {}, oldHup_ {};
};

// The command line's progress bar, stopped by a caught signal.
class InterruptibleHost : public CliHost {
public:
    bool stopRequested() override { return InterruptScope::caught() != 0; }
};

// The exit status of a run a signal stopped: 128 plus its number.
inline int exitStatusForSignal(int signal) { return 128 + signal; }

} // namespace sga::cli
