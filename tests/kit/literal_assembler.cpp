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

std::string streamOf(const std::vector<std::string>& frames, std::string_view buffer) {
    std::string stream = frames.empty() ? std::string() : frames[0];
    for (std::size_t i = 1; i < frames.size(); ++i) {
        stream.append(frames[i], 1);
    }
    if (!frames.empty()) {
        buffer.remove_prefix(std::min<std::size_t>(1, buffer.size()));
    }
    stream.append(buffer);
    return stream;
}

}  // namespace vornel::testing
