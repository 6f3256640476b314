#include "forms/globals.h"

namespace vornel {

std::string LastFrame;
std::uint8_t CommPortNumber = 0;
std::int32_t CommBaudRate = 0;
std::string CommPortPath;

}  // namespace vornel
