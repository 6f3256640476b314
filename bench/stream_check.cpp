#include "bench/stream_check.h"

#include "tests/kit/literal_assembler.h"

#include <algorithm>

namespace vornel::bench {

void StreamCheck::frame(std::string_view text) {
    if (anyFrame_ && (text.empty() || text.front() != '[')) {
        mismatch_ = true;
    }
    const std::string_view data = dataIn(text);
    if (!mismatch_ && !sameAsStreamAt(framed_, data)) {
        mismatch_ = true;
    }
    framed_ += data.size();
    anyFrame_ = true;
}

std::uint64_t StreamCheck::received(std::string_view buffer) const {
    return framed_ + dataIn(buffer).size();
}

bool StreamCheck::matches(std::string_view buffer) const {
    if (mismatch_ || (anyFrame_ && (buffer.empty() || buffer.front() != '['))) {
        return false;
    }
    return sameAsStreamAt(framed_, dataIn(buffer));
}

std::string_view StreamCheck::dataIn(std::string_view text) const {
    return testing::streamDataIn(text, anyFrame_);
}

bool StreamCheck::sameAsStreamAt(std::uint64_t offset, std::string_view data) const {
    std::size_t at = static_cast<std::size_t>(offset % stream_.size());
    while (!data.empty()) {
        const std::size_t n = std::min(data.size(), stream_.size() - at);
        if (data.substr(0, n) != stream_.substr(at, n)) {
            return false;
        }
        data.remove_prefix(n);
        at = 0;
    }
    return true;
}

}  // namespace vornel::bench
