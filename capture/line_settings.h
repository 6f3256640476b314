#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vornel {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// The line format a settings string such as "9600,N,8,1" describes.
struct LineSettings {
    std::int32_t baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings&) const = default;
};

// Reads "<speed>,<parity>,<data bits>,<stop bits>": speed a positive decimal number, parity one
// of N, E, O, M, S (either case), data bits 5 to 8, stop bits 1, 1.5 or 2. Anything else,
// blanks included, gives nothing.
std::optional<LineSettings> parseLineSettings(std::string_view text);

// The only settings string the program forms: the speed's decimal digits (a minus sign first if
// negative) followed by ",N,8,1".
std::string settingsStringFor(std::int32_t baudRate);

}  // namespace vornel
