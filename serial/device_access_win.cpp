// The device access of device_access.h on Windows. Qt Serial Port takes no lock files there and
// a device has no owning group to name, so what remains is the probe itself.
#include "serial/device_access.h"
#include "serial/device_probe_win.h"

namespace vornel {

bool deviceLockHeld(const std::string&) {
    return false;
}

std::string deviceOwnerGroup(const std::string&) {
    return {};
}

bool devicePresent(const std::string& device) {
    return windowsDeviceCanBeOpened(device);
}

std::string permissionDetail(const std::string&, const std::string& otherwise) {
    return otherwise;
}

bool deviceCanBeOpened(const std::string& device) {
    return windowsDeviceCanBeOpened(device);
}

}  // namespace vornel
