#include "serial/device_lock.h"

#include <QtGlobal>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#endif

namespace vornel {

#ifdef Q_OS_WIN

// Windows opens a serial device for one handle at a time by itself; names are not links.
std::string canonicalDevicePath(const std::string& path) {
    return path;
}

LockFileState lockFileState(const std::string&) {
    return LockFileState::None;
}

DeviceLock::~DeviceLock() = default;

DeviceAccess DeviceLock::acquire(const std::string&) {
    detail_.clear();
    return DeviceAccess::Granted;
}

void DeviceLock::release() {}

#else

namespace {

// The directories Qt Serial Port, and the programs that follow the uucp convention, put their
// lock files in.
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

std::string canonicalDevicePath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return path;
    }
    return resolved;
}

LockFileState lockFileState(const std::string& device) {
    const std::string name = lockFileName(device);
    LockFileState state = LockFileState::None;
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
            pid = 0;
        }
        if (processAlive(pid)) {
            return LockFileState::Live;
        }
        state = LockFileState::Stale;
    }
    return state;
}

DeviceLock::~DeviceLock() {
    release();
}

void DeviceLock::release() {
    if (fd_ >= 0) {
        ::close(fd_);  // drops the flock() lock with it
        fd_ = -1;
    }
}

DeviceAccess DeviceLock::acquire(const std::string& device) {
    release();
    detail_.clear();
    auto refuse = [this](DeviceAccess access, std::string why) {
        release();
        detail_ = std::move(why);
        return access;
    };
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP) {
            return refuse(DeviceAccess::Missing, std::strerror(error));
        }
        if (error == EACCES) {
            return refuse(DeviceAccess::PermissionDenied, std::strerror(error));
        }
        return refuse(DeviceAccess::Failed, std::strerror(error));
    }
    // Only a character device can be a terminal; anything else is not even opened.
    if (!S_ISCHR(info.st_mode)) {
        return refuse(DeviceAccess::NotSerial, S_ISDIR(info.st_mode)    ? "a directory"
                                               : S_ISREG(info.st_mode)  ? "a regular file"
                                               : S_ISFIFO(info.st_mode) ? "a FIFO"
                                                                        : "not a character device");
    }
    if (lockFileState(device) == LockFileState::Live) {
        return refuse(DeviceAccess::InUse, "another program holds its lock file");
    }
    fd_ = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        switch (error) {
            case ENOENT:
            case ENXIO:
            case ENODEV:
                return refuse(DeviceAccess::Missing, std::strerror(error));
            case EBUSY:
                return refuse(DeviceAccess::InUse, "another program holds it exclusively");
            case EACCES:
            case EPERM:
                return refuse(DeviceAccess::PermissionDenied, std::strerror(error));
            default:
                return refuse(DeviceAccess::Failed, std::strerror(error));
        }
    }
    if (::isatty(fd_) == 0) {
        return refuse(DeviceAccess::NotSerial, "not a terminal device");
    }
    int exclusive = 0;
#ifdef TIOCGEXCL
    if (::ioctl(fd_, TIOCGEXCL, &exclusive) != 0) {
        exclusive = 0;
    }
#endif
    // As root the exclusive flag does not keep an opener out; it still means someone holds it.
    if (exclusive != 0) {
        return refuse(DeviceAccess::InUse, "another program holds it exclusively");
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        return refuse(DeviceAccess::InUse, "another program holds a lock on it");
    }
    return DeviceAccess::Granted;
}

#endif

}  // namespace vornel
