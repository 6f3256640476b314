#pragma once

#include <string>
#include <string_view>

#include "capture/frame_assembler.h"

namespace vornel::bench {

// The frame rule done literally: both brackets are searched for in the whole buffer on every
// call. It lives in its own source file, like FrameAssembler, so that neither is inlined into
// the benchmark loop and the two are compared on equal terms.
class LiteralAssembler {
public:
    void Append(std::string_view chunk);
    TakenFrame TakeFrame();
    const std::string& RxBuffer() const { return buffer_; }

private:
    std::string buffer_;
};

}  // namespace vornel::bench
