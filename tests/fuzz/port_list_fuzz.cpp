// Any value of VORNEL_SERIAL_PORTS, read as the list of ports it names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "serial/port_table.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::vector<std::string> pathsOf(const std::vector<vornel::SerialDevice>& devices) {
    std::vector<std::string> paths;
    for (const vornel::SerialDevice& device : devices) {
        paths.push_back(device.path);
    }
    return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string list(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> paths = pathsOf(vornel::listedPorts(list));

    // Every entry that is not empty, once, in the order of its first appearance.
    std::vector<std::string> expected;
    std::istringstream entries(list);
    for (std::string entry; std::getline(entries, entry, ':');) {
        if (!entry.empty() &&
            std::find(expected.begin(), expected.end(), entry) == expected.end()) {
            expected.push_back(entry);
        }
    }
    FUZZ_CHECK(paths == expected);
    // Empty entries and entries listed again add nothing.
    FUZZ_CHECK(pathsOf(vornel::listedPorts("::" + list + ":")) == paths);
    FUZZ_CHECK(pathsOf(vornel::listedPorts(list + ":" + list)) == paths);
    return 0;
}
