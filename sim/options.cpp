#include "sim/options.h"

#include <charconv>
#include <cmath>

namespace vornel::sim {

namespace {

// Digits only, no sign or blanks, and within [lowest, highest].
std::optional<std::uint64_t> wholeNumber(std::string_view text, std::uint64_t lowest,
                                         std::uint64_t highest) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || stop != end || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

// A positive number of seconds such as "5" or "0.25", at least a millisecond, at most a day.
std::optional<std::chrono::milliseconds> seconds(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || stop != end || !(value >= 0.001 && value <= 86400)) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::llround(value * 1000));
}

std::optional<RecordFormat> formatNamed(std::string_view name) {
    if (name == "csv") {
        return RecordFormat::Csv;
    }
    if (name == "xml") {
        return RecordFormat::Xml;
    }
    if (name == "mixed") {
        return RecordFormat::Mixed;
    }
    return std::nullopt;
}

// The switch an option without a value turns on; nullptr if `name` is none of them.
bool* flagNamed(Options& options, std::string_view name) {
    if (name == "--split") {
        return &options.noise.split;
    }
    if (name == "--start-mid") {
        return &options.noise.startMid;
    }
    if (name == "--garbage") {
        return &options.noise.garbage;
    }
    if (name == "--garbage-brackets") {
        return &options.noise.garbageBrackets;
    }
    if (name == "--wait-reader") {
        return &options.waitReader;
    }
    return nullptr;
}

ParsedCommandLine complaint(std::string text) {
    ParsedCommandLine parsed;
    parsed.error = std::move(text);
    return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string_view>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> attached;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != name.npos) {
            attached = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        // Hands out the option's value, from "=value" or the next argument.
        bool missing = false;
        auto value = [&]() -> std::string_view {
            if (attached) {
                return *attached;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            missing = true;
            return {};
        };
        auto bad = [&](std::string_view what) {
            return complaint(missing ? std::string(name) + " needs a value"
                                     : std::string(name) + " wants " + std::string(what));
        };

        if (name == "--help" || name == "-h") {
            ParsedCommandLine parsed;
            parsed.helpWanted = true;
            return parsed;
        } else if (name == "--device") {
            options.devicePath = value();
            if (options.devicePath.empty()) {
                return bad("a path");
            }
        } else if (name == "--format") {
            const auto format = formatNamed(value());
            if (!format) {
                return bad("csv, xml or mixed");
            }
            options.format = *format;
        } else if (name == "--rate") {
            const auto rate = wholeNumber(value(), 0, 1'000'000);
            if (!rate) {
                return bad("a whole number of records per second, 0 to 1000000");
            }
            options.recordsPerSecond = static_cast<std::int64_t>(*rate);
        } else if (name == "--baud") {
            const auto baud = wholeNumber(value(), 0, 100'000'000);
            if (!baud || (*baud > 0 && *baud < 10)) {
                return bad("a line speed in bit/s, 10 to 100000000, or 0 for no pacing");
            }
            options.baud = static_cast<std::int64_t>(*baud);
        } else if (name == "--count") {
            const auto count = wholeNumber(value(), 1, UINT64_MAX);
            if (!count) {
                return bad("a whole number of records, at least 1");
            }
            options.count = *count;
        } else if (name == "--seed") {
            options.seed = wholeNumber(value(), 0, UINT64_MAX);
            if (!options.seed) {
                return bad("a whole number from 0 to 18446744073709551615");
            }
        } else if (name == "--no-close") {
            const auto size = wholeNumber(value(), 1, std::uint64_t{64} << 20);  // built in memory
            if (!size) {
                return bad("a number of bytes, 1 to 67108864 (64 MiB)");
            }
            options.noise.unclosedBytes = static_cast<std::size_t>(*size);
        } else if (name == "--record") {
            options.recordPath = value();
            if (options.recordPath.empty()) {
                return bad("a file name");
            }
        } else if (name == "--drop-every") {
            const auto every = seconds(value());
            if (!every) {
                return bad("a number of seconds, 0.001 to 86400");
            }
            options.dropEvery = *every;
        } else if (bool* target = flagNamed(options, name)) {
            if (attached) {
                return complaint(std::string(name) + " takes no value");
            }
            *target = true;
        } else {
            return complaint("unknown option " + std::string(name) + " (see --help)");
        }
    }

    if (options.noise.garbageBrackets) {
        options.noise.garbage = true;
    }
    if (!options.devicePath.empty() && (options.waitReader || options.dropEvery.count() > 0)) {
        return complaint(
            "--wait-reader and --drop-every work on the simulator's own "
            "pseudo-terminal, not with --device");
    }
    ParsedCommandLine parsed;
    parsed.options = std::move(options);
    return parsed;
}

std::string usageText() {
    return R"(Usage: vornel-sim [options]

Plays a measuring device that sends bracketed records, such as [12.3,45,6] CR LF.
Without --device it makes a pseudo-terminal, prints its device path (/dev/pts/N) as the
first line on stdout and sends from the far end; open that path as the serial port.

  --device PATH        send to this existing device or file instead (a terminal is set
                       raw at --baud); a regular file is emptied first
  --format F           csv (default): [12.3,45,6]
                       xml: [<rec><t>12.3</t><h>45</h><n>6</n></rec>]
                       mixed: the two by turns
  --rate N             records per second (default 10; 0: as fast as the line allows)
  --baud N             line speed in bit/s (default 115200), paced at 10 bits a
                       character: 115200 gives 11520 bytes/s; 0: no pacing at all
  --count N            stop after N records (default: run until stopped)
  --seed S             the seed of every random choice: the same seed and options
                       give the same bytes in the same pieces (default: a new one,
                       shown in the summary)
  --split              write each record in random pieces
  --start-mid          begin the stream inside a record
  --garbage            random junk between some records, never "[" or "]"
  --garbage-brackets   the same junk, which may hold "[" and "]"
  --no-close N         after the first record, a stretch of N bytes (up to 64 MiB)
                       without "]"
  --wait-reader        send only while a reader has the pseudo-terminal open; pause
                       while it is closed, go on when it is opened again
  --record FILE        write a copy of every byte sent to FILE
  --drop-every SECS    every SECS seconds close the pseudo-terminal, as a device that
                       goes away, make a new one and print its path on stdout
  --help               this text

Ctrl+C or SIGTERM ends the run; a summary goes to stderr. With --count the
simulator waits, before it closes the pseudo-terminal, until the reader has taken
what was sent (closing sooner would throw the rest away); it gives up after 5 s
in which the reader took nothing.
Exit status: 0 done or stopped, 1 a device or file failed, 2 bad options.
)";
}

}  // namespace vornel::sim
