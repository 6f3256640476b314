#include "serial/port_table.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cctype>
#include <tuple>

namespace vornel {

namespace {

// Group of a device name: ttyS, ttyUSB, ttyACM, then everything else.
int groupOf(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    static const char* const kGroups[] = {"ttyS", "ttyUSB", "ttyACM"};
    for (int i = 0; i < 3; ++i) {
        const std::string prefix = kGroups[i];
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return i;
        }
    }
    return 3;
}

// The number a device name ends with, or -1.
long trailingNumber(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(path[i - 1])) != 0) {
        --i;
    }
    if (i == path.size() || path.size() - i > 9) {
        return -1;
    }
    return std::stol(path.substr(i));
}

}  // namespace

std::optional<SerialDevice> PortTable::port(int number) const {
    const std::vector<SerialDevice> all = devices();
    if (number < 1 || static_cast<std::size_t>(number) > all.size()) {
        return std::nullopt;
    }
    return all[static_cast<std::size_t>(number) - 1];
}

std::vector<SerialDevice> listedPorts(std::string_view list) {
    std::vector<SerialDevice> listed;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t colon = std::min(list.find(':', start), list.size());
        const std::string_view path = list.substr(start, colon - start);
        start = colon + 1;
        const bool seen = std::any_of(listed.begin(), listed.end(),
                                      [&](const SerialDevice& d) { return d.path == path; });
        if (!path.empty() && !seen) {
            listed.push_back({std::string(path), "listed in VORNEL_SERIAL_PORTS"});
        }
    }
    return listed;
}

std::vector<SerialDevice> inPortOrder(std::vector<SerialDevice> devices) {
    auto key = [](const SerialDevice& d) {
        return std::make_tuple(groupOf(d.path), trailingNumber(d.path), d.path);
    };
    std::sort(devices.begin(), devices.end(),
              [&](const SerialDevice& a, const SerialDevice& b) { return key(a) < key(b); });
    return devices;
}

std::vector<SerialDevice> SystemPortTable::devices() const {
    // For trials and tests on machines whose own serial devices must not be touched: a list of
    // device paths, separated by ':', replaces the machine's devices and keeps its order. Set
    // but empty, it lists none: only an unset variable means the machine's devices.
    if (qEnvironmentVariableIsSet("VORNEL_SERIAL_PORTS")) {
        return listedPorts(qgetenv("VORNEL_SERIAL_PORTS").toStdString());
    }
    std::vector<SerialDevice> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        found.push_back({info.systemLocation().toStdString(), info.description().toStdString()});
    }
    return inPortOrder(std::move(found));
}

std::optional<SerialDevice> SystemPortTable::port(int number) const {
#ifdef Q_OS_WIN
    if (number < 1) {
        return std::nullopt;
    }
    const std::string name = "COM" + std::to_string(number);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.portName().toStdString() == name) {
            return SerialDevice{name, info.description().toStdString()};
        }
    }
    return SerialDevice{name, {}};
#else
    return PortTable::port(number);
#endif
}

}  // namespace vornel
