#pragma once

#include <cstdint>
#include <string>

// The values that live for the whole process.
namespace vornel {

// The latest completed frame, replaced whole at each frame; empty until the first.
extern std::string LastFrame;

// The port chosen in the setup dialog: 0 until one is chosen, 1 is the first port.
extern std::uint8_t CommPortNumber;

// The line speed chosen in the setup dialog, in bits per second; 0 until one is chosen.
extern std::int32_t CommBaudRate;

// A device path typed into the setup dialog instead of a number; when set, it is opened instead
// of CommPortNumber.
extern std::string CommPortPath;

}  // namespace vornel
