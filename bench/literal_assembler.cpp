#include "bench/literal_assembler.h"

#include <utility>

namespace vornel::bench {

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

}  // namespace vornel::bench
