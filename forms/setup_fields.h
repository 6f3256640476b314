#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace vornel {

// The lowest line speed "SET" takes; the highest is what CommBaudRate can hold.
inline constexpr int kLowestSpeed = 1;

// What the port field holds: a port number from 0 to 255, or (on Linux) a device path.
struct PortField {
    std::uint8_t number = 0;
    std::string path;  // set when a device path was typed
};
std::optional<PortField> readPortField(const QString& text);

// What the speed field holds: a line speed in bits per second, a whole number from 1 to the
// largest signed 32-bit value. No line runs at 0 or fewer bits per second.
std::optional<std::int32_t> readBaudField(const QString& text);

}  // namespace vornel
