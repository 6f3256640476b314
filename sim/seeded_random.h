#pragma once

#include <cstdint>
#include <random>

namespace vornel::sim {

// The one source of chance in a run. Draws are made here rather than through the standard
// distributions, whose results differ between standard libraries: a seed must give the same
// bytes wherever the simulator was built.
class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}

    // A number from 0 to bound - 1; bound must not be 0.
    std::uint64_t below(std::uint64_t bound) {
        // Draws above the last whole multiple of bound are thrown back, so no value is favoured.
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
        std::uint64_t draw = engine_();
        while (draw >= limit) {
            draw = engine_();
        }
        return draw % bound;
    }

    // True once in `n` draws on average.
    bool oneIn(std::uint64_t n) { return below(n) == 0; }

private:
    std::mt19937_64 engine_;
};

}  // namespace vornel::sim
