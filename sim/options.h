#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/record_maker.h"
#include "sim/stream_plan.h"

namespace vornel::sim {

// Everything the command line chooses.
struct Options {
    std::string devicePath;  // empty: make a pseudo-terminal
    RecordFormat format = RecordFormat::Csv;
    std::int64_t recordsPerSecond = 10;  // 0: as fast as the line allows
    std::int64_t baud = 115200;          // 0: no line pacing at all
    StreamNoise noise;
    std::uint64_t count = 0;  // records to send; 0: until stopped
    std::optional<std::uint64_t> seed;
    bool waitReader = false;
    std::string recordPath;                  // empty: no copy
    std::chrono::milliseconds dropEvery{0};  // 0: never

    // The line carries 10 bits a character: start, 8 data, stop.
    std::int64_t bytesPerSecond() const { return baud / 10; }
};

// What the command line asked for: options to run with, the help text, or a complaint.
struct ParsedCommandLine {
    std::optional<Options> options;
    bool helpWanted = false;
    std::string error;  // set when neither of the above
};

// Reads the arguments after the program's name. Values come as "--rate 5" or "--rate=5".
ParsedCommandLine parseCommandLine(const std::vector<std::string_view>& args);

std::string usageText();

}  // namespace vornel::sim
