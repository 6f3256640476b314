// Any command line given to the device simulator (arguments separated by NUL bytes, as no
// argument can hold one).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/options.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> args;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        args.push_back(input.substr(start, end - start));
        start = end + 1;
    }

    const vornel::sim::ParsedCommandLine parsed = vornel::sim::parseCommandLine(args);
    // Exactly one outcome: help, options to run with, or a complaint that says something.
    FUZZ_CHECK(
        int{parsed.helpWanted} + int{parsed.options.has_value()} + int{!parsed.error.empty()} == 1);
    if (!parsed.options) {
        return 0;
    }
    // What --help promises of every value.
    const vornel::sim::Options& o = *parsed.options;
    FUZZ_CHECK(o.recordsPerSecond >= 0 && o.recordsPerSecond <= 1'000'000);
    FUZZ_CHECK(o.baud == 0 || (o.baud >= 10 && o.baud <= 100'000'000));
    FUZZ_CHECK(o.bytesPerSecond() >= 0);
    FUZZ_CHECK(o.noise.unclosedBytes <= std::size_t{64} << 20);
    FUZZ_CHECK(o.dropEvery.count() == 0 ||
               (o.dropEvery.count() >= 1 && o.dropEvery.count() <= 86'400'000));
    FUZZ_CHECK(!o.noise.garbageBrackets || o.noise.garbage);
    FUZZ_CHECK(o.devicePath.empty() || (!o.waitReader && o.dropEvery.count() == 0));
    return 0;
}
