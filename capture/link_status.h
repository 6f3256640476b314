#pragma once

#include <string>

#include "capture/serial_service.h"

namespace vornel {

// What the last "set Hardware" did, kept so that the main window can show it without a message.
struct LinkStatus {
    bool open = false;
    int portNumber = 0;    // 0 when the port was named by its device path
    std::string device;    // the device path, when known
    std::string settings;  // the settings string applied, when it got that far
    LinkFault reason = LinkFault::NotConfigured;  // why the port is closed
    std::string detail;                           // the system's own words for the failure
    std::string ownerGroup;                       // for a refused permission: the group to join
    bool waiting = false;  // the device went away; it is opened again when it comes back
};

// One or two plain sentences, for a tooltip.
std::string describeLinkStatus(const LinkStatus& status);

}  // namespace vornel
