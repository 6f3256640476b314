#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornel {

struct SerialDevice {
    std::string path;         // /dev/ttyUSB0, or COM3 on Windows
    std::string description;  // what the system says the device is; may be empty
};

// Maps port numbers to the machine's serial devices. Port 1 is the first.
class PortTable {
public:
    virtual ~PortTable() = default;

    // The machine's serial devices in port order.
    virtual std::vector<SerialDevice> devices() const = 0;

    // The device of port `number`, or nothing when no device has that number.
    virtual std::optional<SerialDevice> port(int number) const;
};

// The serial devices Qt Serial Port enumerates. On Linux they are numbered in a stable order:
// /dev/ttyS* first, then /dev/ttyUSB*, then /dev/ttyACM*, then any others, each group by the
// number at the end of the name. On Windows port n is always COMn.
//
// The environment variable VORNEL_SERIAL_PORTS, a list of device paths separated by ':', replaces
// the machine's devices (Linux): port n is then the n-th path listed, a path listed again counts
// once, and an empty list means no ports at all.
class SystemPortTable : public PortTable {
public:
    std::vector<SerialDevice> devices() const override;
    std::optional<SerialDevice> port(int number) const override;
};

// The devices a list of paths separated by ':' names (VORNEL_SERIAL_PORTS), in its order: an
// empty path names none, and a path listed again counts once.
std::vector<SerialDevice> listedPorts(std::string_view list);

// Puts devices in port order (see SystemPortTable).
std::vector<SerialDevice> inPortOrder(std::vector<SerialDevice> devices);

}  // namespace vornel
