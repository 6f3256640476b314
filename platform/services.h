#pragma once

#include "platform/device_access.h"
#include "platform/port_table.h"
#include "platform/program_launcher.h"
#include "platform/registry.h"

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
