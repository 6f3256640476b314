#pragma once

#include <set>
#include <string>

#include "fake_registry.h"
#include "forms/services.h"
#include "static_port_table.h"

namespace vornel::testing {

// A probe that reports the devices a test marks as busy or missing; the rest can be opened.
class FakeProbe : public DeviceProbe {
public:
    std::set<std::string> busy;
    std::vector<std::string> probed;

    bool canOpen(const std::string& device) override {
        probed.push_back(device);
        return busy.count(device) == 0;
    }
};

// Stand-ins for the machine, for windows under test.
struct FakePlatform {
    StaticPortTable ports;
    FakeProbe probe;
    FakeRegistry registry;
    FakeLauncher launcher;

    PlatformServices services() { return PlatformServices{ports, probe, registry, launcher}; }
};

}  // namespace vornel::testing
