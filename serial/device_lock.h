#pragma once

#include <string>

namespace vornel {

// The device a path names: links followed, "." and ".." resolved, doubled slashes gone. A path
// that names nothing is returned as given. Every lock is taken, and looked for, under this name,
// so that two names of one device (a link in /dev/serial/by-id, /dev//pts/3) are one device.
std::string canonicalDevicePath(const std::string& path);

// The uucp-style lock file of a device: none, one of a running process, or one left behind by a
// process that has ended.
enum class LockFileState { None, Live, Stale };
LockFileState lockFileState(const std::string& device);

// What stands between this process and a serial device.
enum class DeviceAccess {
    Granted,           // the device is held by this process until release()
    Missing,           // nothing of that name
    NotSerial,         // there is something, but not a terminal device
    InUse,             // another program holds it
    PermissionDenied,  // this user may not open it
    Failed,            // anything else
};

// Holds a serial device the way other serial programs on this system hold theirs, and looks for
// their holds first. A device is in use when a running process holds its lock file, when the
// kernel's exclusive flag is set on it, or when another open file holds an flock() lock on it
// (picocom, tio and pyserial's exclusive mode take only that one). While held, this process keeps
// an flock() lock of its own on it, so that those programs refuse it in turn.
//
// Nothing about the device is changed: it is opened without becoming the controlling terminal,
// without waiting for a carrier, and its line settings are left alone.
class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes `device` (a canonical path) for this process. Anything but Granted leaves nothing
    // held; detail() then says why in the system's words.
    DeviceAccess acquire(const std::string& device);
    void release();
    const std::string& detail() const { return detail_; }

private:
    int fd_ = -1;
    std::string detail_;
};

}  // namespace vornel
