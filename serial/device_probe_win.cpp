// The device probe on Windows, through the system's own calls.
#include "serial/device_probe_win.h"

#include "platform/windows_api.h"

namespace vornel {

bool windowsDeviceCanBeOpened(const std::string& device) {
    const std::string path = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    // It answers as a serial port: Wine opens a port mapped to a device that has gone, which is
    // then no port at all.
    DCB settings{};
    settings.DCBlength = sizeof settings;
    const bool answers = GetCommState(handle, &settings) != 0;
    return CloseHandle(handle) != 0 && answers;
}

}  // namespace vornel
