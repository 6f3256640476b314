#pragma once

// Standard C++ only: builds with a bare Windows compiler, without Qt.

#include <string>

namespace vornel {

// Opens a serial device for reading, shared with nobody, and closes it again at once; true when
// both succeed and it answers as a serial port. `device` is a port name ("COM3") or the device
// path ("\\.\COM3"); a bare name is given the "\\.\" prefix, the only form in which COM10
// and above can be opened.
bool windowsDeviceCanBeOpened(const std::string& device);

}  // namespace vornel
