#include "bench/pty_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>

namespace vornel::bench {

namespace {

double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

double processCpuSeconds() {
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpuSeconds() {
    return cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

WriteResult writeFor(int fd, std::string_view stream, double seconds) {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kWriteSize = 4096;
    WriteResult result;
    result.processCpuAtStart = processCpuSeconds();
    const double threadCpuAtStart = threadCpuSeconds();
    result.start = Clock::now();
    const auto deadline = result.start + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    std::size_t at = 0;
    while (Clock::now() < deadline) {
        const std::size_t size = std::min(kWriteSize, stream.size() - at);
        const ssize_t n = ::write(fd, stream.data() + at, size);
        if (n > 0) {
            result.bytes += static_cast<std::uint64_t>(n);
            at = (at + static_cast<std::size_t>(n)) % stream.size();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal failed");
        }
        pollfd out{fd, POLLOUT, 0};
        if (::poll(&out, 1, 1000) == 0) {
            result.stalled = true;
            break;
        }
    }
    result.threadCpu = threadCpuSeconds() - threadCpuAtStart;
    return result;
}

}  // namespace vornel::bench
