#include "memory_watch.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__)
#define VORNEL_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORNEL_SOAK_ASAN 1
#endif
#endif

#ifdef VORNEL_SOAK_ASAN
// From the sanitizer's allocator; GCC 12 ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace vornel::soak {

namespace {

std::uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

std::uint64_t heapBytes() {
#ifdef VORNEL_SOAK_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;  // in use in the arenas, plus blocks mapped on their own
#endif
}

}  // namespace

MemorySample sampleMemory(double seconds) {
    return MemorySample{seconds, residentBytes(), heapBytes()};
}

bool residentSetIsMeaningful() {
#ifdef VORNEL_SOAK_ASAN
    return false;
#else
    return true;
#endif
}

Growth growthAfter(const std::vector<MemorySample>& samples, double settleSeconds,
                   std::uint64_t MemorySample::*figure) {
    Growth growth;
    if (samples.empty()) {
        return growth;
    }
    growth.settled = samples.front().*figure;
    for (const MemorySample& sample : samples) {
        if (sample.seconds < settleSeconds) {
            growth.settled = sample.*figure;
        } else {
            growth.highest = std::max(growth.highest, sample.*figure);
        }
    }
    growth.last = samples.back().*figure;
    return growth;
}

}  // namespace vornel::soak
