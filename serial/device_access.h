#pragma once

#include <string>

namespace vornel {

// Whether a running process holds the lock file that Qt Serial Port (like other programs that
// follow the uucp convention) takes for the device, under its canonical name or the name given.
// This process counts too; a lock file whose process has ended does not.
bool deviceLockHeld(const std::string& device);

// For a device this user may not open: the group to join, which is the group that owns the
// device when its mode lets that group read it and this process is not in it already; empty
// otherwise, or when it cannot be told.
std::string deviceOwnerGroup(const std::string& device);
// For a device this user may not open: "the device's permissions allow only its owner (name)"
// when its mode lets nobody else read it and this process is not its owner; `otherwise` when not.
std::string permissionDetail(const std::string& device, const std::string& otherwise);

// Opens the device for reading and closes it again, changing none of its settings. True when
// both succeed, it is a terminal device, and nobody holds it: no lock file of a live process,
// not the kernel's exclusive flag (which a root process could otherwise open straight through),
// no flock() lock of another open file (see DeviceLock).
bool deviceCanBeOpened(const std::string& device);

// Whether the device is there at all: its file exists; on Windows, where a port's name is not a
// file, the port can be opened (a port that is gone cannot).
bool devicePresent(const std::string& device);

// Tells whether a serial device can be opened at this moment (see deviceCanBeOpened).
class DeviceProbe {
public:
    virtual ~DeviceProbe() = default;
    virtual bool canOpen(const std::string& device) = 0;
};

class SystemDeviceProbe : public DeviceProbe {
public:
    bool canOpen(const std::string& device) override { return deviceCanBeOpened(device); }
};

}  // namespace vornel
