#include "stream_account.h"

#include <algorithm>
#include <utility>

namespace vornel::soak {

namespace {

constexpr std::size_t kMaxFailures = 10;

std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 60)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            out += c;
        } else {
            static const char* const kHex = "0123456789abcdef";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        }
    }
    return text.size() > 60 ? out + "..." : out;
}

}  // namespace

void StreamAccount::sessionStarted(Clock::time_point now) {
    ++sessions_;
    lastRead_ = now;
    const std::size_t reset = anyFrame_ ? 1 : 0;
    carrying_ = buffer_.size() > reset;
}

void StreamAccount::observe(std::string_view lastFrame, std::string_view buffer,
                            Clock::time_point now) {
    if (lastFrame != lastFrame_ || (buffer.substr(0, buffer_.size()) != buffer_)) {
        // A frame was taken: it is the buffer as it was, plus what was read.
        if (lastFrame.substr(0, buffer_.size()) != buffer_) {
            fail("frame " + std::to_string(frames_ + 1) + " \"" + shown(lastFrame) +
                 "\" does not begin with the buffer before it \"" + shown(buffer_) + "\"");
        } else if (buffer != "[") {
            fail("after frame " + std::to_string(frames_ + 1) + " the buffer is \"" +
                 shown(buffer) + "\", not \"[\"");
        } else {
            ++frames_;
            anyFrame_ = true;
            if (carrying_) {
                ++framesCarried_;
                carrying_ = false;
            }
            read(lastFrame.substr(buffer_.size()));
        }
        lastFrame_.assign(lastFrame);
        buffer_.assign(buffer);
    } else if (buffer.size() > buffer_.size()) {
        read(buffer.substr(buffer_.size()));
        buffer_.assign(buffer);
    } else {
        return;  // nothing read
    }
    lastRead_ = now;
}

void StreamAccount::sent(std::string_view bytes) {
    bytesSent_ += bytes.size();
    unmatchedSent_.append(bytes);
    match();
}

void StreamAccount::read(std::string_view bytes) {
    bytesRead_ += bytes.size();
    unmatchedRead_.append(bytes);
    match();
}

// Compares what has been both read and sent, and forgets it.
void StreamAccount::match() {
    const std::size_t n = std::min(unmatchedRead_.size(), unmatchedSent_.size());
    if (n == 0) {
        return;
    }
    const auto [r, s] =
        std::mismatch(unmatchedRead_.begin(), unmatchedRead_.begin() + n, unmatchedSent_.begin());
    if (r != unmatchedRead_.begin() + n) {
        const std::size_t at = static_cast<std::size_t>(r - unmatchedRead_.begin());
        fail("stream byte " + std::to_string(matched_ + at) + ": read \"" +
             shown(std::string_view(unmatchedRead_).substr(at, 20)) + "\", sent \"" +
             shown(std::string_view(unmatchedSent_).substr(at, 20)) + "\"");
        // Resynchronise on what was sent, so that one fault is reported once.
        unmatchedRead_.clear();
        unmatchedSent_.clear();
        return;
    }
    matched_ += n;
    unmatchedRead_.erase(0, n);
    unmatchedSent_.erase(0, n);
}

void StreamAccount::deviceGone(Clock::time_point now) {
    if (!unmatchedRead_.empty()) {
        fail(std::to_string(unmatchedRead_.size()) + " bytes read beyond what the device sent: \"" +
             shown(unmatchedRead_) + "\"");
        unmatchedRead_.clear();
    }
    // What is left unmatched was sent and never read: thrown away by the kernel as the far end
    // closed. At most what the line carried since the last read.
    const std::size_t lost = unmatchedSent_.size();
    const double since = std::chrono::duration<double>(now - lastRead_).count();
    const double bound =
        lineBytesPerSecond_ * std::max(0.0, since) + static_cast<double>(slackBytes_);
    if (static_cast<double>(lost) > bound) {
        fail("device " + std::to_string(sessions_) + ": " + std::to_string(lost) +
             " bytes sent were never read, more than the line carries in the " +
             std::to_string(static_cast<int>(since * 1000)) + " ms since the last read");
    }
    lostAtDrops_ += lost;
    largestLoss_ = std::max<std::uint64_t>(largestLoss_, lost);
    matched_ += lost;
    unmatchedSent_.clear();
}

void StreamAccount::fail(std::string what) {
    if (failures_.size() < kMaxFailures) {
        failures_.push_back(std::move(what));
    }
}

}  // namespace vornel::soak
