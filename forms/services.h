#pragma once

#include "platform/program_launcher.h"
#include "platform/registry.h"
#include "serial/device_access.h"
#include "serial/port_table.h"

namespace vornel {

// The parts of the machine the windows reach through: the real ones in the program, stand-ins
// in tests.
struct PlatformServices {
    const PortTable& ports;
    DeviceProbe& probe;
    Registry& registry;
    ProgramLauncher& launcher;
};

}  // namespace vornel
