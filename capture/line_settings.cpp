#include "capture/line_settings.h"

#include <array>
#include <charconv>

namespace vornel {

namespace {

bool IsDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::optional<Parity> ParityFrom(std::string_view s) {
    if (s.size() != 1) {
        return std::nullopt;
    }
    switch (s.front()) {
        case 'N':
        case 'n':
            return Parity::None;
        case 'E':
        case 'e':
            return Parity::Even;
        case 'O':
        case 'o':
            return Parity::Odd;
        case 'M':
        case 'm':
            return Parity::Mark;
        case 'S':
        case 's':
            return Parity::Space;
        default:
            return std::nullopt;
    }
}

std::optional<StopBits> StopBitsFrom(std::string_view s) {
    if (s == "1") {
        return StopBits::One;
    }
    if (s == "1.5") {
        return StopBits::OneAndHalf;
    }
    if (s == "2") {
        return StopBits::Two;
    }
    return std::nullopt;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(std::string_view text) {
    std::array<std::string_view, 4> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        const bool last = i + 1 == fields.size();
        if (last != (comma == std::string_view::npos)) {
            return std::nullopt;  // too few or too many fields
        }
        fields[i] = text.substr(start, last ? std::string_view::npos : comma - start);
        start = comma + 1;
    }

    LineSettings settings;
    if (!IsDigits(fields[0])) {
        return std::nullopt;
    }
    const auto [end, ec] =
        std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), settings.baudRate);
    if (ec != std::errc{} || settings.baudRate <= 0) {
        return std::nullopt;
    }

    const auto parity = ParityFrom(fields[1]);
    if (!parity || fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') {
        return std::nullopt;
    }
    settings.parity = *parity;
    settings.dataBits = fields[2][0] - '0';

    const auto stop = StopBitsFrom(fields[3]);
    if (!stop) {
        return std::nullopt;
    }
    settings.stopBits = *stop;
    return settings;
}

std::string settingsStringFor(std::int32_t baudRate) {
    return std::to_string(baudRate) + ",N,8,1";
}

}  // namespace vornel
