#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vornel {

// Why a serial operation failed, or why the port is not open.
enum class LinkFault {
    None,              // no failure
    NotConfigured,     // nothing has been set up yet
    NoPortChosen,      // port number 0, or an empty device name
    NoSuchPort,        // the number or name names no device of this machine
    NotSerial,         // the name names something that is not a serial (terminal) device
    PermissionDenied,  // the user may not open the device
    InUse,             // another program (or another opener) holds the device
    StaleLock,         // held only by a leftover that may not be cleared away: a lock file that
                       // names no running process, or the exclusive flag of one that has ended
    SettingsRefused,   // the settings string cannot be applied
    DeviceGone,        // the device failed or went away while open
    OpenFailed,        // any other failure
};

// A failure of the serial service. `ownerGroup` names the group that owns the device when the
// failure is a refused permission and joining that group would let the user read the device.
class SerialFailure : public std::runtime_error {
public:
    SerialFailure(LinkFault fault, const std::string& detail, std::string ownerGroup = {})
        : std::runtime_error(detail), fault_(fault), ownerGroup_(std::move(ownerGroup)) {}

    LinkFault fault() const { return fault_; }
    const std::string& ownerGroup() const { return ownerGroup_; }

private:
    LinkFault fault_;
    std::string ownerGroup_;
};

// The serial port as the main window sees it. Received bytes are delivered as text, one
// character per byte. Nothing is ever written to the device. Failing operations throw
// SerialFailure.
class SerialService {
public:
    virtual ~SerialService() = default;

    // Port n is the n-th serial port of the machine (1 is the first). 0 is refused; a number
    // that names no port is refused here or, at the latest, by openPort().
    virtual void setCommPort(int number) = 0;
    // Names the port by its device path instead of by number.
    virtual void setPortDevice(const std::string& path) = 0;
    // The device the port number or path currently names; empty while none is set.
    virtual std::string deviceName() const = 0;

    // "<speed>,<parity>,<data bits>,<stop bits>"; a string that cannot be applied is refused.
    virtual void setSettings(std::string_view settings) = 0;
    // 0: input() returns every waiting character. Nothing else is asked of it.
    virtual void setInputLen(int length) = 0;

    virtual bool isPortOpen() const = 0;
    virtual void openPort() = 0;
    virtual void closePort() = 0;

    // Takes the waiting input out of the receive buffer; empty when nothing waits. The text stays
    // valid until the next call.
    virtual std::string_view input() = 0;

    // Waiting for a device that went away: from watchForDevice() until stopWatching() or
    // closePort(), onDeviceMayBeBack is raised at most once a second while the device last
    // named exists. Nothing is opened by the service itself.
    virtual void watchForDevice() = 0;
    virtual void stopWatching() = 0;

    // Raised whenever received characters are waiting.
    std::function<void()> onComm;
    // Raised after the service closed the port because the device failed or went away; raised
    // once more, with the better reason, when a device that seemed to have stopped answering
    // turns out to have been removed.
    std::function<void(const SerialFailure&)> onLinkLost;
    // See watchForDevice().
    std::function<void()> onDeviceMayBeBack;
};

}  // namespace vornel
