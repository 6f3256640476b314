#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornel::soak {

// Accounts for every byte a device sent against the frames a receive path handed out, while
// devices come and go.
//
// The receive path is watched from outside: after each receive notification, observe() is given
// LastFrame and the receive buffer. One notification appends what it read to the buffer and
// takes at most one frame, so between two observations either
//   - the buffer grew: the bytes read are its new end, and LastFrame is unchanged; or
//   - a frame was taken: LastFrame is the buffer as it was plus the bytes read, and the buffer
//     is "[" again.
// Anything else is a fault. The bytes read, in order, must be the bytes sent, in order. So each
// frame after the first begins with the "[" the buffer was reset to, which is not stream data,
// and a partial record left in the buffer when a device goes away becomes the front of the next
// frame.
//
// The bytes sent come from the device's own copy (the simulator's --record file), through
// sent(). When a device goes away, the bytes it sent that were never read are the ones the
// kernel threw away when the far end closed: they can only be the end of what it sent, and no
// more than the line carried after the last read. deviceGone() checks both.
class StreamAccount {
public:
    using Clock = std::chrono::steady_clock;

    // `lineBytesPerSecond`: the most the device's line carries; `slackBytes`: allowed on top of
    // it when bounding what a device lost at a drop.
    StreamAccount(double lineBytesPerSecond, std::size_t slackBytes)
        : lineBytesPerSecond_(lineBytesPerSecond), slackBytes_(slackBytes) {}

    // A device was opened.
    void sessionStarted(Clock::time_point now);
    // The receive path's state after a receive notification.
    void observe(std::string_view lastFrame, std::string_view buffer, Clock::time_point now);
    // More of what the device sent, in order.
    void sent(std::string_view bytes);
    // The device went away, and sent() has had everything it sent.
    void deviceGone(Clock::time_point now);

    bool ok() const { return failures_.empty(); }
    // The first faults found, in words.
    const std::vector<std::string>& failures() const { return failures_; }

    std::uint64_t bytesSent() const { return bytesSent_; }
    std::uint64_t bytesRead() const { return bytesRead_; }
    // Bytes sent but thrown away by the kernel at a drop, never read.
    std::uint64_t bytesLostAtDrops() const { return lostAtDrops_; }
    std::uint64_t largestLossAtADrop() const { return largestLoss_; }
    std::uint64_t frames() const { return frames_; }
    int sessions() const { return sessions_; }
    // Frames that began with a partial record left from the device before.
    int framesCarriedAcrossADrop() const { return framesCarried_; }

private:
    void read(std::string_view bytes);
    void match();
    void fail(std::string what);

    double lineBytesPerSecond_;
    std::size_t slackBytes_;

    std::string lastFrame_;
    std::string buffer_;
    bool anyFrame_ = false;

    // Bytes read and bytes sent that have not been matched with each other yet.
    std::string unmatchedRead_;
    std::string unmatchedSent_;

    Clock::time_point lastRead_;
    bool carrying_ = false;  // the buffer holds data from a device that went away

    std::uint64_t bytesSent_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t matched_ = 0;  // stream position of the next byte to match
    std::uint64_t lostAtDrops_ = 0;
    std::uint64_t largestLoss_ = 0;
    std::uint64_t frames_ = 0;
    int sessions_ = 0;
    int framesCarried_ = 0;
    std::vector<std::string> failures_;
};

}  // namespace vornel::soak
