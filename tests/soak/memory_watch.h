#pragma once

#include <cstdint>
#include <vector>

namespace vornel::soak {

// The process's memory at one moment of a run.
struct MemorySample {
    double seconds = 0;          // since the run began
    std::uint64_t resident = 0;  // resident set, bytes (/proc/self/statm)
    std::uint64_t heap = 0;      // bytes allocated and not yet freed
};

MemorySample sampleMemory(double seconds);

// Under AddressSanitizer freed memory is held back in a quarantine of up to 256 MB, so the
// resident set grows however tidy the program is; only the heap in use says anything there.
bool residentSetIsMeaningful();

// How far a figure rose once start-up was over: `settled` is its value at the last sample taken
// before `settleSeconds`, `highest` the highest value after that.
struct Growth {
    std::uint64_t settled = 0;
    std::uint64_t highest = 0;
    std::uint64_t last = 0;
    std::uint64_t rise() const { return highest > settled ? highest - settled : 0; }
};
Growth growthAfter(const std::vector<MemorySample>& samples, double settleSeconds,
                   std::uint64_t MemorySample::*figure);

}  // namespace vornel::soak
