#pragma once

#include <string>
#include <string_view>

#ifndef _WIN32
#include <termios.h>
#endif

namespace vornel {

// The device a path names: links followed, "." and ".." resolved, doubled slashes gone. A path
// that names nothing is returned as given. Every lock is taken, and looked for, under this name,
// so that two names of one device (a link in /dev/serial/by-id, /dev//pts/3) are one device.
std::string canonicalDevicePath(const std::string& path);

// The uucp-style lock file of a device: none; one held by a running program (the process it
// names runs, or a program keeps the file itself locked, as Qt does while it holds a device);
// one that names a process that has ended; or one that names no process at all (empty, or no
// number in it) and that no program keeps locked. Where there are several, the one that counts
// most, in this order.
enum class LockFileState { None, Live, Ended, Unowned };
LockFileState lockFileState(const std::string& device);

// The process a lock file's content names: the number on its first line, as Qt and uucp-style
// programs write it ("1234", or padded with blanks); 0 when that line holds anything else.
long lockFilePid(std::string_view content);

// What stands between this process and a serial device.
enum class DeviceAccess {
    Granted,           // the device is held by this process until release()
    Missing,           // nothing of that name
    NotSerial,         // there is something, but not a terminal device
    InUse,             // another program holds it
    PermissionDenied,  // this user may not open it
    LeftBehind,        // held only by what a program that has ended left, which this user
                       // cannot undo
    Failed,            // anything else
};

// Holds a serial device the way other serial programs on this system hold theirs, and looks for
// their holds first. A device is in use when a running process holds its lock file, when the
// kernel's exclusive flag is set on it, or when another open file holds an flock() lock on it
// (picocom, tio and pyserial's exclusive mode take only that one). While held, this process keeps
// an flock() lock of its own on it, so that those programs refuse it in turn.
//
// What a program that ended without closing the device left is no hold: a lock file that no
// running program holds, and the exclusive flag when the lock file names a process that has
// ended and no flock() lock is held. Both are cleared away, so that Qt can take the device; when
// this user cannot do that, the device is refused as LeftBehind.
//
// It is opened without becoming the controlling terminal and without waiting for a carrier. Once
// nobody else is seen to hold it, its line processing is switched off at once: a terminal with the
// kernel's settings echoes what it receives back to the device and acts on control characters
// in it, until a program makes it raw. A device this refuses, or only probes, gets its settings
// back as they were when it is let go; one it takes is left raw.
class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes `device` (a canonical path) for this process. Anything but Granted leaves nothing
    // held; detail() then says why in the system's words. With `clearLeftovers` false nothing
    // is cleared away: the answer is the one a take would give.
    DeviceAccess acquire(const std::string& device, bool clearLeftovers = true);
    void release();
    const std::string& detail() const { return detail_; }

private:
    int fd_ = -1;
    std::string detail_;
#ifndef _WIN32
    termios found_{};  // the settings to give back when let go, when restore_
    bool restore_ = false;
#endif
};

}  // namespace vornel
