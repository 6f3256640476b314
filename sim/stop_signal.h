#pragma once

#include <poll.h>
#include <signal.h>

#include <chrono>

namespace vornel::sim {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// Turns SIGINT and SIGTERM into a request to stop that every wait of the simulator notices at
// once. The two signals are held back except inside waitFor(), so none slips in between a
// check and the wait that follows it.
class StopSignal {
public:
    StopSignal();  // only one at a time
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool requested() const;

    // poll() that gives up at `deadline` or on a stop request, returning 0 then; -1 on failure
    // with errno set.
    int waitFor(pollfd* fds, nfds_t count, Clock::time_point deadline) const;
    void sleepUntil(Clock::time_point deadline) const { waitFor(nullptr, 0, deadline); }

private:
    sigset_t openMask_;  // the mask to wait with: the two signals let through
};

}  // namespace vornel::sim
