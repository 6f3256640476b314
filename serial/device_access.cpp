#include "serial/device_access.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "serial/device_lock.h"

namespace vornel {

bool deviceLockHeld(const std::string& device) {
    // Under the device's own name, and under the name as given, for programs that lock a link.
    const std::string canonical = canonicalDevicePath(device);
    return lockFileState(canonical) == LockFileState::Live ||
           (canonical != device && lockFileState(device) == LockFileState::Live);
}

namespace {

bool inGroup(gid_t id) {
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int listed = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(listed, 0)));
    return ::getegid() == id || std::find(groups.begin(), groups.end(), id) != groups.end();
}

}  // namespace

std::string deviceOwnerGroup(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || (info.st_mode & S_IRGRP) == 0 ||
        inGroup(info.st_gid)) {
        return {};
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): only the event thread looks up users and groups
    const group* owner = ::getgrgid(info.st_gid);
    return owner != nullptr ? std::string(owner->gr_name) : std::string();
}

bool devicePresent(const std::string& device) {
    struct stat info {};
    return ::stat(device.c_str(), &info) == 0;
}

std::string permissionDetail(const std::string& device, const std::string& otherwise) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || (info.st_mode & (S_IRGRP | S_IROTH)) != 0 ||
        info.st_uid == ::geteuid()) {
        return otherwise;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): only the event thread looks up users and groups
    const passwd* owner = ::getpwuid(info.st_uid);
    return "the device's permissions allow only its owner (" +
           (owner != nullptr ? std::string(owner->pw_name) : std::to_string(info.st_uid)) + ")";
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
