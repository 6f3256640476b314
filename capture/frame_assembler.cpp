#include "capture/frame_assembler.h"

#include <utility>

namespace vornel {

void FrameAssembler::Append(std::string_view chunk) {
    rxBuffer_.append(chunk);
    if (!seenOpen_ && chunk.find('[') != std::string_view::npos) {
        seenOpen_ = true;
    }
    if (!seenClose_ && chunk.find(']') != std::string_view::npos) {
        seenClose_ = true;
    }
    const bool framePending = seenOpen_ && seenClose_;
    if (!framePending && rxBuffer_.size() > kRxBufferLimit) {
        rxBuffer_.erase(0, rxBuffer_.size() - kRxBufferLimit);
    }
}

TakenFrame FrameAssembler::TakeFrame() {
    if (!(seenOpen_ && seenClose_)) {
        return {};
    }
    TakenFrame frame{true, std::move(rxBuffer_)};
    rxBuffer_.assign(1, '[');
    seenOpen_ = true;
    seenClose_ = false;
    return frame;
}

}  // namespace vornel
