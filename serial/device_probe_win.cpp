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
    return CloseHandle(handle) != 0;
}

}  // namespace vornel
