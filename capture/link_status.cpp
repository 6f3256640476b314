#include "capture/link_status.h"

namespace vornel {

namespace {

std::string portName(const LinkStatus& s) {
    std::string name;
    if (s.portNumber > 0) {
        name = "port " + std::to_string(s.portNumber);
        if (!s.device.empty()) {
            name += " (" + s.device + ")";
        }
    } else {
        name = s.device.empty() ? std::string("the port") : s.device;
    }
    return name;
}

std::string withDetail(std::string text, const LinkStatus& s) {
    if (!s.detail.empty()) {
        text += ": " + s.detail;
    }
    // The system's own texts may end a sentence already (Windows' always do).
    return text.back() == '.' ? text : text + ".";
}

}  // namespace

// NOLINTNEXTLINE(misc-no-recursion): it calls itself once, for the state without the waiting
std::string describeLinkStatus(const LinkStatus& s) {
    if (!s.open && s.waiting) {
        LinkStatus closed = s;
        closed.waiting = false;
        return describeLinkStatus(closed) + " Waiting for the device to come back.";
    }
    if (s.open) {
        return "Receiving on " + portName(s) + " at " + s.settings + ".";
    }
    switch (s.reason) {
        case LinkFault::None:
            return "Closed.";
        case LinkFault::NotConfigured:
            return "No port open. Choose \"set Hardware\" to pick one.";
        case LinkFault::NoPortChosen:
            return "No port open: no port was chosen.";
        case LinkFault::NoSuchPort:
            return withDetail("No port open: " + portName(s) + " does not exist", s);
        case LinkFault::PermissionDenied: {
            // A group is named only where joining it would help.
            std::string text = withDetail("No port open: permission denied on " + portName(s), s);
            if (!s.ownerGroup.empty()) {
                text += " Your user must belong to the group that owns the device (" +
                        s.ownerGroup + ").";
            }
            return text;
        }
        case LinkFault::NotSerial:
            return withDetail("No port open: " + portName(s) + " is not a serial device", s);
        case LinkFault::InUse:
            return withDetail("No port open: " + portName(s) + " is in use by another program", s);
        case LinkFault::StaleLock:
            return withDetail("No port open: " + portName(s) + " is held by a leftover", s);
        case LinkFault::SettingsRefused:
            return withDetail("No port open: " + portName(s) + " refused the settings " +
                                  (s.settings.empty() ? std::string("given") : s.settings),
                              s);
        case LinkFault::DeviceGone:
            return withDetail("Port closed: " + portName(s) + " went away", s);
        case LinkFault::OpenFailed:
            return withDetail("No port open: " + portName(s) + " could not be opened", s);
    }
    return "Closed.";
}

}  // namespace vornel
