#include "serial/device_lock.h"

#include <QtGlobal>
#include <charconv>

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
#include <utility>
#endif

namespace vornel {

long lockFilePid(std::string_view content) {
    const std::string_view first = content.substr(0, content.find('\n'));
    const std::size_t begin = first.find_first_not_of(" \t");
    const std::size_t end = first.find_last_not_of(" \t\r");
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
        return 0;
    }
    const std::string_view digits = first.substr(begin, end - begin + 1);
    long pid = 0;
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos ||
        std::from_chars(digits.data(), digits.data() + digits.size(), pid).ec != std::errc{}) {
        return 0;
    }
    return pid;
}

#ifdef Q_OS_WIN

// Windows opens a serial device for one handle at a time by itself; names are not links.
std::string canonicalDevicePath(const std::string& path) {
    return path;
}

LockFileState lockFileState(const std::string&) {
    return LockFileState::None;
}

DeviceLock::~DeviceLock() = default;

DeviceAccess DeviceLock::acquire(const std::string&, bool) {
    detail_.clear();
    return DeviceAccess::Granted;
}

void DeviceLock::release() {}

#else

namespace {

// The directories Qt Serial Port, and the programs that follow the uucp convention, put their
// lock files in, in the order Qt Serial Port looks at them.
const char* const kLockDirectories[] = {
    "/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
    "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock",
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

struct LockFile {
    std::string path;
    LockFileState state = LockFileState::None;
    long pid = 0;  // the process it names; 0 when it names none
};

LockFile inspect(const std::string& path) {
    LockFile lock{path};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // One that is there but may not be read is someone's: it is not taken over.
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            lock.state = LockFileState::Live;
        }
        return lock;
    }
    char text[128];
    const ssize_t length = ::read(fd, text, sizeof text);
    lock.pid =
        length > 0 ? lockFilePid(std::string_view(text, static_cast<std::size_t>(length))) : 0;
    // Qt keeps its lock file locked for as long as it holds the device, from before it has
    // written its pid into it.
    if (processAlive(lock.pid) || (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
        lock.state = LockFileState::Live;
    } else {
        lock.state = lock.pid > 0 ? LockFileState::Ended : LockFileState::Unowned;
    }
    ::close(fd);
    return lock;
}

bool writableDirectory(const std::string& dir) {
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// The lock file Qt Serial Port takes for the device: in the first directory it may read that
// holds one already or that it may write.
std::string qtLockFilePath(const std::string& device) {
    const std::string name = lockFileName(device);
    for (const char* dir : kLockDirectories) {
        std::string path = std::string(dir) + "/" + name;
        struct stat info {};
        if (::faccessat(AT_FDCWD, dir, R_OK, AT_EACCESS) == 0 &&
            (::lstat(path.c_str(), &info) == 0 || writableDirectory(dir))) {
            return path;
        }
    }
    return {};
}

// Whether this process may remove the file: it may write its directory, and where the
// directory is sticky (as /run/lock is) it owns the file or the directory, or is root.
bool mayRemove(const std::string& path) {
    const std::string dir = path.substr(0, path.find_last_of('/'));
    struct stat file {};
    struct stat folder {};
    if (!writableDirectory(dir) || ::lstat(path.c_str(), &file) != 0 ||
        ::stat(dir.c_str(), &folder) != 0) {
        return false;
    }
    const uid_t self = ::geteuid();
    return (folder.st_mode & S_ISVTX) == 0 || self == 0 || file.st_uid == self ||
           folder.st_uid == self;
}

std::string describe(const LockFile& lock) {
    return lock.state == LockFileState::Ended ? "its lock file " + lock.path + " names process " +
                                                    std::to_string(lock.pid) + ", which has ended"
                                              : "its lock file " + lock.path + " names no process";
}

// The device's lock file that counts most (see LockFileState).
LockFile deviceLockFile(const std::string& device) {
    const std::string name = lockFileName(device);
    LockFile found;
    for (const char* dir : kLockDirectories) {
        LockFile lock = inspect(std::string(dir) + "/" + name);
        if (lock.state == LockFileState::Live) {
            return lock;
        }
        if (lock.state != LockFileState::None &&
            (found.state == LockFileState::None ||
             (found.state == LockFileState::Unowned && lock.state == LockFileState::Ended))) {
            found = lock;
        }
    }
    return found;
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
    return deviceLockFile(device).state;
}

DeviceLock::~DeviceLock() {
    release();
}

void DeviceLock::release() {
    if (fd_ >= 0) {
        if (std::exchange(restore_, false)) {
            ::tcsetattr(fd_, TCSANOW, &found_);
        }
        ::close(fd_);  // drops the flock() lock with it
        fd_ = -1;
    }
}

// strerror() is not thread-safe for every error number; only the event thread asks for error
// texts here.
// NOLINTBEGIN(concurrency-mt-unsafe)
DeviceAccess DeviceLock::acquire(const std::string& device, bool clearLeftovers) {
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
    const LockFile lock = deviceLockFile(device);
    if (lock.state == LockFileState::Live) {
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
                // Only root could open it to clear the flag.
                if (lock.state == LockFileState::Ended) {
                    return refuse(DeviceAccess::LeftBehind,
                                  "process " + std::to_string(lock.pid) +
                                      " ended and left it marked for exclusive use, which only "
                                      "root can clear; it is free again once no program has it "
                                      "open");
                }
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
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        return refuse(DeviceAccess::InUse, "another program holds a lock on it");
    }
    int exclusive = 0;
#ifdef TIOCGEXCL
    if (::ioctl(fd_, TIOCGEXCL, &exclusive) != 0) {
        exclusive = 0;
    }
#endif
    // As root the exclusive flag does not keep an opener out; it still means someone holds it,
    // unless the process its lock file names has ended (killed, or crashed, with the device
    // open). Nobody can tell who set a flag without a lock file: that one is never cleared.
    if (exclusive != 0 && lock.state != LockFileState::Ended) {
        return refuse(DeviceAccess::InUse, "another program holds it exclusively");
    }
    // Bytes arriving from now on must not be echoed back to the device.
    if (::tcgetattr(fd_, &found_) == 0) {
        termios raw = found_;
        ::cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        restore_ = ::tcsetattr(fd_, TCSANOW, &raw) == 0;
    }
    // Qt refuses a device whose lock file it cannot take, and would keep one that names no
    // process for a while in case it is still being written; one that nobody holds is cleared
    // away here.
    const LockFile qtLock = inspect(qtLockFilePath(device));
    const bool qtLockLeftOver =
        qtLock.state == LockFileState::Ended || qtLock.state == LockFileState::Unowned;
    if (qtLockLeftOver && !mayRemove(qtLock.path)) {
        return refuse(DeviceAccess::LeftBehind,
                      describe(qtLock) + ", and your user may not remove it");
    }
    if (!clearLeftovers) {
        return DeviceAccess::Granted;  // a probe: released at once, settings given back
    }
    if (qtLockLeftOver && ::unlink(qtLock.path.c_str()) != 0 && errno != ENOENT) {
        return refuse(DeviceAccess::LeftBehind,
                      describe(qtLock) + ", and removing it failed: " + std::strerror(errno));
    }
#ifdef TIOCNXCL
    if (exclusive != 0 && ::ioctl(fd_, TIOCNXCL) != 0) {
        return refuse(DeviceAccess::LeftBehind,
                      "process " + std::to_string(lock.pid) +
                          " ended and left it marked for exclusive use, and clearing that "
                          "failed: " +
                          std::strerror(errno));
    }
#endif
    restore_ = false;
    return DeviceAccess::Granted;
}
// NOLINTEND(concurrency-mt-unsafe)

#endif

}  // namespace vornel
