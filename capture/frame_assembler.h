#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vornel {

// A frame taken out of the receive buffer. When `completed` is false, `text` is empty and means
// nothing.
struct TakenFrame {
    bool completed = false;
    std::string text;
};

// Collects received text in `RxBuffer` and recognises a frame by one rule: the collected text
// holds at least one "]" and at least one "[", in any order. The frame is then the whole buffer,
// and the buffer starts again as the one-character text "[".
//
// Text is bytes: one received byte is one character, NUL included, and brackets are matched
// byte for byte.
//
// Two things differ from a plain "search the whole buffer on every call":
//  - Whether each bracket is present is remembered as chunks arrive, so the cost of a call grows
//    with the chunk, not with the buffer. The answer is the same as a whole-buffer search.
//  - The buffer is bounded. When a chunk would take it past kRxBufferCapacity bytes without a
//    complete frame, its oldest text goes, so that kRxBufferLimit bytes are left with the chunk
//    at their end. The buffer thus always holds at least the newest kRxBufferLimit bytes (all of
//    them while there are fewer) and never more than kRxBufferCapacity, and the trimming, one
//    move of 1 MiB after at least 1 MiB of reads, costs a constant amount per byte read rather
//    than a whole buffer per read. The brackets already seen stay seen, so frames complete at
//    exactly the same chunks as without the bound; only a frame that grew past the limit loses
//    its oldest text. Streams whose frames stay within the limit are not affected at all.
class FrameAssembler {
public:
    static constexpr std::size_t kRxBufferLimit = std::size_t{1} << 20;     // 1 MiB
    static constexpr std::size_t kRxBufferCapacity = std::size_t{2} << 20;  // 2 MiB

    // Adds a chunk of received text (possibly empty) to the end of the buffer.
    void Append(std::string_view chunk);

    // Hands out the whole buffer as a frame when it holds both brackets, and resets the buffer
    // to "[". Otherwise reports no frame and leaves the buffer as it is.
    TakenFrame TakeFrame();

    const std::string& RxBuffer() const { return rxBuffer_; }

private:
    std::string rxBuffer_;
    bool seenOpen_ = false;
    bool seenClose_ = false;
};

}  // namespace vornel
