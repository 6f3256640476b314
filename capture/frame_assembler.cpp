#include "capture/frame_assembler.h"

#include <utility>

namespace vornel {

void FrameAssembler::Append(std::string_view chunk) {
    if (!seenOpen_ && chunk.find('[') != std::string_view::npos) {
        seenOpen_ = true;
    }
    if (!seenClose_ && chunk.find(']') != std::string_view::npos) {
        seenClose_ = true;
    }
    // A chunk that completes a frame is never trimmed: the frame is taken whole.
    if ((seenOpen_ && seenClose_) || rxBuffer_.size() + chunk.size() <= kRxBufferCapacity) {
        rxBuffer_.append(chunk);
        return;
    }
    if (chunk.size() >= kRxBufferLimit) {
        rxBuffer_.assign(chunk.substr(chunk.size() - kRxBufferLimit));
        return;
    }
    rxBuffer_.erase(0, rxBuffer_.size() - (kRxBufferLimit - chunk.size()));
    rxBuffer_.append(chunk);
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
