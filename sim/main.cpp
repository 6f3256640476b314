// vornel-sim: plays a measuring device on a pseudo-terminal, for trials without hardware and for
// the end-to-end and soak tests. See README.md and --help.

#include <csignal>
#include <exception>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <random>

#include "sim/options.h"
#include "sim/outlet.h"
#include "sim/sender.h"
#include "sim/stop_signal.h"

namespace {

using namespace vornel::sim;

// Scripts read the path as soon as it is printed.
void announcePath(const std::string& path) {
    std::cout << path << '\n' << std::flush;
}

std::uint64_t freshSeed() {
    std::random_device device;
    return (std::uint64_t{device()} << 32) | device();
}

void printSummary(const SendTotals& totals, std::uint64_t seed) {
    std::cerr << "vornel-sim: " << totals.records << " records, " << totals.bytes << " bytes, "
              << std::fixed << std::setprecision(2) << totals.seconds << " s (seed " << seed
              << ")\n";
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedCommandLine parsed = parseCommandLine({argv + 1, argv + argc});
    if (parsed.helpWanted) {
        std::cout << usageText();
        return 0;
    }
    if (!parsed.options) {
        std::cerr << "vornel-sim: " << parsed.error << '\n';
        return 2;
    }
    const Options& options = *parsed.options;
    const std::uint64_t seed = options.seed.value_or(freshSeed());

    (void)std::signal(SIGPIPE, SIG_IGN);  // a reader of stdout that has gone must not end the run
    const StopSignal stop;
    std::optional<Sender> sender;
    int status = 0;
    try {
        std::ofstream copy;
        if (!options.recordPath.empty()) {
            copy.open(options.recordPath, std::ios::binary | std::ios::trunc);
            if (!copy) {
                throw std::runtime_error("cannot create " + options.recordPath);
            }
        }
        const auto outlet = options.devicePath.empty()
                                ? std::make_unique<Outlet>(options.waitReader)
                                : std::make_unique<Outlet>(options.devicePath, options.baud);
        if (outlet->isPseudoTerminal()) {
            announcePath(outlet->path());
        }
        sender.emplace(options, seed, *outlet, stop, copy.is_open() ? &copy : nullptr,
                       announcePath);
        sender->run();
        if (copy.is_open()) {
            copy.close();
            if (copy.fail()) {
                throw std::runtime_error("cannot write to " + options.recordPath);
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "vornel-sim: " << e.what() << '\n';
        status = 1;
    }
    printSummary(sender ? sender->totals() : SendTotals{}, seed);
    return status;
}
