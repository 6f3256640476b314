#include "sim/line_pacer.h"

#include <algorithm>

namespace vornel::sim {

LinePacer::LinePacer(std::int64_t bytesPerSecond, std::int64_t recordsPerSecond)
    : bytesPerSecond_(bytesPerSecond), recordsPerSecond_(recordsPerSecond) {}

void LinePacer::beginSlot() {
    if (recordsPerSecond_ == 0) {
        return;
    }
    const Nanos turn = turnOrigin_ + timeOf(turns_, recordsPerSecond_);
    const Nanos free = lineFree();
    if (turn >= free) {
        lineOrigin_ = turn;
        lineBytes_ = 0;
        ++turns_;
    } else {
        turnOrigin_ = free;
        turns_ = 1;
    }
}

LinePacer::Nanos LinePacer::send(std::size_t size) {
    lineBytes_ += static_cast<std::int64_t>(size);
    return lineFree();
}

LinePacer::Nanos LinePacer::lineFree() const {
    if (bytesPerSecond_ == 0) {
        return lineOrigin_;
    }
    return lineOrigin_ + timeOf(lineBytes_, bytesPerSecond_);
}

void LinePacer::restart(Nanos now) {
    turnOrigin_ = now;
    turns_ = 1;
    lineOrigin_ = now;
    lineBytes_ = 0;
}

std::size_t LinePacer::sliceBytes() const {
    constexpr std::int64_t kMost = 4096;
    if (bytesPerSecond_ == 0) {
        return kMost;
    }
    return static_cast<std::size_t>(std::clamp<std::int64_t>(bytesPerSecond_ / 50, 1, kMost));
}

LinePacer::Nanos LinePacer::timeOf(std::int64_t count, std::int64_t perSecond) {
    // Whole seconds and the rest apart, so that no product overflows.
    constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    const std::int64_t whole = count / perSecond;
    const std::int64_t rest = count % perSecond;
    return Nanos(whole * kNanosPerSecond + rest * kNanosPerSecond / perSecond);
}

}  // namespace vornel::sim
