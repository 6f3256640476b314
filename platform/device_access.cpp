#include "platform/device_access.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace vornel {

namespace {

// The directories Qt Serial Port may put its lock files in.
const char* const kLockDirectories[] = {
    "/var/lock",       "/run/lock", "/etc/locks", "/var/spool/locks",
    "/var/spool/uucp", "/tmp",      "/var/tmp",   "/var/lock/lockdev",
};

std::string lockFileName(const std::string& device) {
    std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return "LCK.." + name;
}

bool processAlive(long pid) {
    if (pid <= 0) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

bool deviceLockHeld(const std::string& device) {
    const std::string name = lockFileName(device);
    for (const char* dir : kLockDirectories) {
        std::ifstream lock(std::string(dir) + "/" + name);
        if (!lock) {
            continue;
        }
        // The pid of the holder, as text on the first line (Qt, and uucp-style programs).
        std::string first;
        std::getline(lock, first);
        long pid = 0;
        try {
            pid = std::stol(first);
        } catch (const std::exception&) {
            continue;
        }
        if (processAlive(pid)) {
            return true;
        }
    }
    return false;
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
    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int exclusive = 0;
#ifdef TIOCGEXCL
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
        exclusive = 0;
    }
#endif
    const bool closed = ::close(fd) == 0;
    return closed && exclusive == 0;
}

}  // namespace vornel
