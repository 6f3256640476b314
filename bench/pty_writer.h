#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace vornel::bench {

// What a writer did, with the clocks read as it started so that the reader's share of the
// process's CPU time can be worked out afterwards.
struct WriteResult {
    std::uint64_t bytes = 0;
    std::chrono::steady_clock::time_point start;
    double processCpuAtStart = 0;  // seconds, whole process
    double threadCpu = 0;          // seconds the writing thread itself used
    bool stalled = false;          // the reader stopped taking bytes for a whole second
};

// Writes `stream` to `fd` over and over, as fast as the far side takes it, for `seconds`.
WriteResult writeFor(int fd, std::string_view stream, double seconds);

double processCpuSeconds();
double threadCpuSeconds();

}  // namespace vornel::bench
