// The frame assembler fed any bytes in any pieces, against the frame rule done literally.
//
// The input is a row of pieces, each a length byte and that many bytes (the last one may be cut
// short); a length of 0 is a notification that read nothing. A length byte of 255 is a long
// piece instead: the next byte repeated kLongPiece times, so that a few of them take the buffer
// past its bound and the trimming is fuzzed as well.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/frame_assembler.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/kit/literal_assembler.h"

namespace {

using vornel::FrameAssembler;

constexpr std::size_t kLongPiece = FrameAssembler::kRxBufferLimit / 2;
// The literal model searches its whole buffer on every call: a budget of bytes searched keeps an
// input from running for seconds.
constexpr std::size_t kSearchBudget = std::size_t{16} << 20;

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FrameAssembler assembler;
    vornel::testing::LiteralAssembler literal;
    bool trimmed = false;  // the bound has cut the current buffer's oldest text
    std::size_t searched = 0;
    std::string longPiece;

    for (std::size_t at = 0; at < input.size() && searched < kSearchBudget;) {
        const auto length = static_cast<std::uint8_t>(input[at++]);
        std::string_view piece = input.substr(at, length);
        if (length == 255) {
            longPiece.assign(kLongPiece, at < input.size() ? input[at] : '.');
            piece = longPiece;
            at += 1;
        } else {
            at += piece.size();
        }

        assembler.Append(piece);
        literal.Append(piece);
        searched += literal.RxBuffer().size();
        const vornel::TakenFrame frame = assembler.TakeFrame();
        const vornel::TakenFrame expected = literal.TakeFrame();

        FUZZ_CHECK(frame.completed == expected.completed);
        if (frame.completed) {
            // Both brackets, unless the bound cut one away: the chunk that completed the frame
            // is never cut, so the one it brought is there.
            const bool open = frame.text.find('[') != std::string::npos;
            const bool close = frame.text.find(']') != std::string::npos;
            FUZZ_CHECK(trimmed ? open || close : open && close);
            FUZZ_CHECK(assembler.RxBuffer() == "[");
            // Only a frame that grew past the bound may have lost its oldest text.
            FUZZ_CHECK(trimmed ? endsWith(expected.text, frame.text) : frame.text == expected.text);
            FUZZ_CHECK(frame.text.size() >=
                       std::min(expected.text.size(), FrameAssembler::kRxBufferLimit));
            trimmed = false;
        } else {
            FUZZ_CHECK(frame.text.empty());
            const std::string& buffer = assembler.RxBuffer();
            FUZZ_CHECK(buffer.size() <= FrameAssembler::kRxBufferCapacity);
            FUZZ_CHECK(buffer.size() >=
                       std::min(literal.RxBuffer().size(), FrameAssembler::kRxBufferLimit));
            FUZZ_CHECK(endsWith(literal.RxBuffer(), buffer));
            trimmed = buffer.size() < literal.RxBuffer().size();
        }
    }
    return 0;
}
