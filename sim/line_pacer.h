#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vornel::sim {

// When each piece of the stream is due, so that the line carries no more than its speed allows
// and records come no faster than their rate. Times count from the pacer's origin.
//
// Every time is worked out from whole counts since a fixed point (bytes since the line last stood
// idle, records since the last restart), never by adding up rounded steps, so the pace holds
// over any length of run.
class LinePacer {
public:
    using Nanos = std::chrono::nanoseconds;

    // bytesPerSecond 0: the line takes anything at once. recordsPerSecond 0: each record follows
    // the one before as soon as the line allows.
    LinePacer(std::int64_t bytesPerSecond, std::int64_t recordsPerSecond);

    // Begins the next record's slot: its bytes go no earlier than the record's turn. A record
    // whose turn came while the line was still busy goes as soon as it is free, and the turns
    // count on from there.
    void beginSlot();

    // Puts `size` more bytes on the line and returns when the last of them has arrived.
    Nanos send(std::size_t size);

    // When the line has carried everything put on it so far.
    Nanos lineFree() const;

    // Starts afresh as if a record's turn had just come at `now`, with the line idle: after a
    // pause, or when the writer fell behind.
    void restart(Nanos now);

    // The most bytes to write at once, about 20 ms of line time, so that a long stretch arrives
    // at the line's pace rather than all at once after a long wait.
    std::size_t sliceBytes() const;

private:
    // The time `count` events take at `perSecond` (> 0), rounded down to a nanosecond.
    static Nanos timeOf(std::int64_t count, std::int64_t perSecond);

    std::int64_t bytesPerSecond_;
    std::int64_t recordsPerSecond_;
    Nanos turnOrigin_{0};
    std::int64_t turns_ = 0;  // slots begun since turnOrigin_
    Nanos lineOrigin_{0};
    std::int64_t lineBytes_ = 0;  // bytes sent since lineOrigin_
};

}  // namespace vornel::sim
