#include "serial/device_access.h"

#include <grp.h>
#include <sys/stat.h>

#include "serial/device_lock.h"

namespace vornel {

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
    // Taken and let go at once, with any leftovers left where they are: free when no other
    // program holds it in any of the ways serial programs here hold a device, and what programs
    // that have ended left on it can be cleared away by "set Hardware".
    DeviceLock lock;
    return lock.acquire(canonicalDevicePath(device), false) == DeviceAccess::Granted;
}

}  // namespace vornel
