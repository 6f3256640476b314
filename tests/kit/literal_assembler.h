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

// The received stream back from what the frame rule made of it: the frames in order and the
// buffer left, less the "[" that every frame after the first, and the buffer after a frame,
// begin with (the reset, not data).
std::string streamOf(const std::vector<std::string>& frames, std::string_view buffer);

}  // namespace vornel::testing
