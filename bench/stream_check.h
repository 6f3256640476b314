#pragma once

#include <cstdint>
#include <string_view>

namespace vornel::bench {

// Follows the frames a receive path hands out and checks them, byte for byte, against the
// stream that was written (`stream` sent over and over). Every frame after the first starts with
// the "[" the buffer was reset to, which is not stream data; the same goes for the buffer that
// is left at the end.
class StreamCheck {
public:
    explicit StreamCheck(std::string_view stream) : stream_(stream) {}

    void frame(std::string_view text);

    // Stream bytes received so far: those in the frames plus those waiting in `buffer`.
    std::uint64_t received(std::string_view buffer) const;
    // True while every byte received, `buffer` included, is the stream's byte at its place.
    bool matches(std::string_view buffer) const;

private:
    std::string_view dataIn(std::string_view text) const;
    bool sameAsStreamAt(std::uint64_t offset, std::string_view data) const;

    std::string_view stream_;
    std::uint64_t framed_ = 0;
    bool anyFrame_ = false;
    bool mismatch_ = false;
};

}  // namespace vornel::bench
