#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "capture/frame_assembler.h"

namespace vornel::testing {

// The frame rule done literally: both brackets are searched for in the whole buffer on every
// call, and the buffer has no bound. The one model of the rule that the tests, the soak and the
// benchmarks check FrameAssembler against. It lives in its own source file, like FrameAssembler,
// so that neither is inlined into a benchmark loop and the two are compared on equal terms.
class LiteralAssembler {
public:
    void Append(std::string_view chunk);
    TakenFrame TakeFrame();
    const std::string& RxBuffer() const { return buffer_; }

private:
    std::string buffer_;
};

// What the frame rule makes of the received stream, undone: every frame after the first, and the
// buffer left after a frame, begin with the "[" the buffer was reset to, which is not data.

// The stream data in one frame (or the buffer), given whether a frame came before it.
std::string_view streamDataIn(std::string_view text, bool afterAFrame);

// The stream, gathered frame by frame.
class FrameStream {
public:
    void frame(std::string_view text);
    // The stream so far with the buffer left; empty when the buffer cannot be one the rule left.
    std::string withBuffer(std::string_view buffer) const;
    // A frame after the first did not begin with "[".
    bool wrongStart() const { return wrongStart_; }
    std::size_t size() const { return data_.size(); }

private:
    std::string data_;
    bool any_ = false;
    bool wrongStart_ = false;
};

// The stream from all the frames, in order, and the buffer left.
std::string streamOf(const std::vector<std::string>& frames, std::string_view buffer);

}  // namespace vornel::testing
