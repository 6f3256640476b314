#pragma once

#include <vector>

#include "serial/port_table.h"

namespace vornel::testing {

// A port table with the devices a test gives it, so that tests never touch the machine's own
// serial devices.
class StaticPortTable : public PortTable {
public:
    StaticPortTable() = default;
    explicit StaticPortTable(std::vector<SerialDevice> devices) : devices_(std::move(devices)) {}

    std::vector<SerialDevice> devices() const override { return devices_; }
    std::vector<SerialDevice>& list() { return devices_; }

private:
    std::vector<SerialDevice> devices_;
};

}  // namespace vornel::testing
