#include "platform/device_access.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <grp.h>
#include <sys/stat.h>

#include "platform/device_lock.h"
#endif

namespace vornel {

#ifdef Q_OS_WIN

bool deviceLockHeld(const std::string&) {
    return false;
}

std::string deviceOwnerGroup(const std::string&) {
    return {};
}

bool deviceCanBeOpened(const std::string& device) {
    const std::string path = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    return CloseHandle(handle) != 0;
}

#else

bool deviceLockHeld(const std::string& device) {
    // Under the device's own name, and under the name as given, for programs that lock a link.
    const std::string canonical = canonicalDevicePath(device);
    return lockFileState(canonical) == LockFileState::Live ||
           (canonical != device && lockFileState(device) == LockFileState::Live);
}

std::string deviceOwnerGroup(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        return {};
    }
    const group* owner = ::getgrgid(info.st_gid);
    return owner != nullptr ? std::string(owner->gr_name) : std::string();
}

bool deviceCanBeOpened(const std::string& device) {
    if (deviceLockHeld(device)) {
        return false;
    }
    // Taken and let go at once: free only when no other program holds it in any of the ways
    // serial programs here hold a device.
    DeviceLock lock;
    return lock.acquire(canonicalDevicePath(device)) == DeviceAccess::Granted;
}

#endif

}  // namespace vornel
