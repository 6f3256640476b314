#include "tests/kit/literal_assembler.h"

#include <algorithm>
#include <utility>

namespace vornel::testing {

void LiteralAssembler::Append(std::string_view chunk) {
    buffer_ += chunk;
}

TakenFrame LiteralAssembler::TakeFrame() {
    if (buffer_.find(']') != std::string::npos && buffer_.find('[') != std::string::npos) {
        TakenFrame frame{true, std::move(buffer_)};
        buffer_.assign(1, '[');
        return frame;
    }
    return {};
}

std::string_view streamDataIn(std::string_view text, bool afterAFrame) {
    return afterAFrame && !text.empty() ? text.substr(1) : text;
}

void FrameStream::frame(std::string_view text) {
    wrongStart_ = wrongStart_ || (any_ && (text.empty() || text[0] != '['));
    data_.append(streamDataIn(text, any_));
    any_ = true;
}

std::string FrameStream::withBuffer(std::string_view buffer) const {
    if (any_ && (buffer.empty() || buffer[0] != '[')) {
        return {};  // cannot be: the buffer starts again as "["
    }
    return data_ + std::string(streamDataIn(buffer, any_));
}

std::string streamOf(const std::vector<std::string>& frames, std::string_view buffer) {
    FrameStream stream;
    for (const std::string& frame : frames) {
        stream.frame(frame);
    }
    return stream.withBuffer(buffer);
}

}  // namespace vornel::testing
