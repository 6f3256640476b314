#pragma once

#include "platform/device_access.h"
#include "platform/port_table.h"

namespace vornel {

// The parts of the machine the windows reach through: the real ones in the program, stand-ins
// in tests.
struct PlatformServices {
    const PortTable& ports;
    DeviceProbe& probe;
};

}  // namespace vornel
