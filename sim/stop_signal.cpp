#include "sim/stop_signal.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace vornel::sim {

namespace {

volatile sig_atomic_t stopAsked = 0;

void onStopSignal(int) {
    stopAsked = 1;
}

}  // namespace

StopSignal::StopSignal() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    sigset_t both;
    sigemptyset(&both);
    sigaddset(&both, SIGINT);
    sigaddset(&both, SIGTERM);
    if (const int error = ::pthread_sigmask(SIG_BLOCK, &both, &openMask_); error != 0) {
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
    }
    sigdelset(&openMask_, SIGINT);
    sigdelset(&openMask_, SIGTERM);
}

bool StopSignal::requested() const {
    return stopAsked != 0;
}

int StopSignal::waitFor(pollfd* fds, nfds_t count, Clock::time_point deadline) const {
    using namespace std::chrono;
    for (;;) {
        if (requested()) {
            return 0;
        }
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return 0;
        }
        // An hour at most per call, so that a far deadline cannot overflow the timeout.
        const nanoseconds wait = std::min<nanoseconds>(duration_cast<nanoseconds>(left), hours(1));
        const auto whole = duration_cast<seconds>(wait);
        const timespec timeout{static_cast<time_t>(whole.count()),
                               static_cast<long>((wait - whole).count())};
        const int ready = ::ppoll(fds, count, &timeout, &openMask_);
        if (ready != 0 && !(ready < 0 && errno == EINTR)) {
            return ready;
        }
    }
}

}  // namespace vornel::sim
