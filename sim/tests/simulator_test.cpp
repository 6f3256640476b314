#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/line_pacer.h"
#include "sim/noise.h"
#include "sim/options.h"
#include "sim/record_maker.h"
#include "sim/stream_plan.h"

extern char** environ;

namespace vornel::sim {
namespace {

using namespace std::chrono_literals;

StreamNoise allNoise() {
    StreamNoise noise;
    noise.split = true;
    noise.startMid = true;
    noise.garbage = true;
    noise.unclosedBytes = 300;
    return noise;
}

// The first `slots` slots of a plan, each as its list of pieces.
std::vector<std::vector<std::string>> slotsOf(StreamPlan& plan, int slots) {
    std::vector<std::vector<std::string>> out;
    for (int i = 0; i < slots; ++i) {
        out.push_back(plan.nextSlot());
    }
    return out;
}

std::string joined(const std::vector<std::string>& pieces) {
    std::string all;
    for (const std::string& piece : pieces) {
        all += piece;
    }
    return all;
}

// --- What is sent -------------------------------------------------------------------------------

TEST(SimulatorStream, SameSeedGivesTheSameBytesInTheSamePieces) {
    StreamPlan first(RecordFormat::Mixed, allNoise(), 1234);
    StreamPlan second(RecordFormat::Mixed, allNoise(), 1234);
    StreamPlan other(RecordFormat::Mixed, allNoise(), 1235);
    const auto slots = slotsOf(first, 500);
    EXPECT_EQ(slots, slotsOf(second, 500));
    EXPECT_NE(slots, slotsOf(other, 500));
}

TEST(SimulatorStream, EverySlotEndsWithARecordInTheChosenFormat) {
    // The sender counts a record when the last piece of a slot has gone.
    StreamNoise noise = allNoise();
    noise.garbageBrackets = true;
    StreamPlan plan(RecordFormat::Mixed, noise, 7);
    const std::regex csv(R"([\s\S]*\[(-?\d+\.\d),\d+,\d\]\r\n$)");
    const std::regex xml(R"([\s\S]*\[<rec><t>(-?\d+\.\d)</t><h>\d+</h><n>\d</n></rec>\]\r\n$)");
    std::set<std::string> values;
    for (int i = 0; i < 300; ++i) {
        const std::string slot = joined(plan.nextSlot());
        std::smatch match;
        // Mixed alternates from Csv; the start-mid tail took record 0, so slot 0 holds record 1.
        EXPECT_TRUE(std::regex_match(slot, match, i % 2 ? csv : xml)) << "slot " << i;
        values.insert(match[1].str());
    }
    EXPECT_GT(values.size(), 10u) << "the values should move";
}

TEST(SimulatorStream, SplitPiecesJoinBackToTheText) {
    SeededRandom random(11);
    RecordMaker records(RecordFormat::Mixed, random);
    for (int i = 0; i < 1000; ++i) {
        const std::string record = records.next();
        const auto pieces = splitIntoPieces(record, random);
        EXPECT_EQ(joined(pieces), record);
        EXPECT_GE(pieces.size(), 2u) << "a record must really come in pieces";
        for (const std::string& piece : pieces) {
            EXPECT_FALSE(piece.empty());
        }
    }
    const std::string stretch = unclosedStretch(100'000, random);
    EXPECT_EQ(joined(splitIntoPieces(stretch, random)), stretch);
}

TEST(SimulatorStream, GarbageHoldsBracketsOnlyWhenAskedTo) {
    SeededRandom random(5);
    std::string plain, bracketed;
    for (int i = 0; i < 5000; ++i) {
        const std::string junk = lineGarbage(random, false);
        EXPECT_GE(junk.size(), 1u);
        EXPECT_LE(junk.size(), 24u);
        plain += junk;
        bracketed += lineGarbage(random, true);
    }
    EXPECT_EQ(plain.find_first_of("[]"), std::string::npos);
    EXPECT_NE(bracketed.find('['), std::string::npos);
    EXPECT_NE(bracketed.find(']'), std::string::npos);

    // In the stream too: with --garbage alone, the only brackets are the records' own.
    StreamNoise noise;
    noise.garbage = true;
    StreamPlan plan(RecordFormat::Csv, noise, 9);
    for (int i = 0; i < 500; ++i) {
        const std::string slot = joined(plan.nextSlot());
        EXPECT_EQ(std::count(slot.begin(), slot.end(), '['), 1) << slot;
        EXPECT_EQ(std::count(slot.begin(), slot.end(), ']'), 1) << slot;
    }
}

TEST(SimulatorStream, StartMidBeginsInsideARecord) {
    SeededRandom random(21);
    RecordMaker records(RecordFormat::Mixed, random);
    for (int i = 0; i < 1000; ++i) {
        const std::string record = records.next();
        const std::string tail = tailOfRecord(record, random);
        ASSERT_LT(tail.size(), record.size());
        EXPECT_EQ(record.substr(record.size() - tail.size()), tail);
        EXPECT_EQ(tail.find('['), std::string::npos) << "the record's opening must be cut off";
        EXPECT_NE(tail.find(']'), std::string::npos) << "its closing must still come";
    }

    // The whole stream, noise and all, begins inside that record.
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        StreamPlan plan(RecordFormat::Mixed, allNoise(), seed);
        const std::string start = joined(plan.nextSlot());
        const std::size_t close = start.find(']');
        ASSERT_NE(close, std::string::npos);
        EXPECT_EQ(start.substr(0, close).find('['), std::string::npos) << "seed " << seed;
        EXPECT_NE(start.front(), '[') << "seed " << seed;
    }
}

TEST(SimulatorStream, NoCloseStretchHasNoClosingBracket) {
    SeededRandom random(4);
    const std::string stretch = unclosedStretch(70'000, random);
    EXPECT_EQ(stretch.size(), 70'000u);
    EXPECT_EQ(stretch.front(), '[');
    EXPECT_EQ(stretch.find(']'), std::string::npos);

    // In the stream: after the first record, and only there.
    StreamNoise noise;
    noise.unclosedBytes = 5000;
    StreamPlan plan(RecordFormat::Csv, noise, 8);
    EXPECT_LT(joined(plan.nextSlot()).size(), 100u);
    const std::string second = joined(plan.nextSlot());
    ASSERT_GT(second.size(), 5000u);
    EXPECT_EQ(second.front(), '[');
    // The first "]" is the one of the record that follows the stretch.
    EXPECT_EQ(second.find(']'), second.size() - 3);
    EXPECT_LT(joined(plan.nextSlot()).size(), 100u);
}

// --- When it is sent ----------------------------------------------------------------------------

TEST(SimulatorPacing, LineSpeedHoldsOverAnHourWithoutDrift) {
    Options options;
    options.baud = 115200;
    ASSERT_EQ(options.bytesPerSecond(), 11'520);

    // Unevenly sized pieces, as --split writes them; each is due when its last byte has come.
    LinePacer pacer(options.bytesPerSecond(), 0);
    SeededRandom random(1);
    const std::int64_t hour = 11'520 * 3600;
    std::int64_t sent = 0;
    while (sent < hour) {
        const std::int64_t size = std::min<std::int64_t>(1 + random.below(40), hour - sent);
        sent += size;
        const LinePacer::Nanos due = pacer.send(static_cast<std::size_t>(size));
        // A nanosecond lost to rounding on each piece would add up to about a millisecond here.
        ASSERT_EQ(due.count(), sent * 1'000'000'000 / 11'520) << "after " << sent << " bytes";
    }
    EXPECT_EQ(pacer.lineFree(), LinePacer::Nanos(3600s));
}

TEST(SimulatorPacing, RecordsKeepTheirTurnsOverAnHour) {
    LinePacer pacer(11'520, 10);
    const std::int64_t lineTime = 13 * 1'000'000'000LL / 11'520;  // one 13-byte record
    for (std::int64_t k = 0; k <= 36'000; ++k) {
        pacer.beginSlot();
        const LinePacer::Nanos due = pacer.send(13);
        ASSERT_EQ(due.count(), k * 100'000'000 + lineTime) << "record " << k;
    }
}

TEST(SimulatorPacing, BusyLineDelaysRecordsWithoutABurstAfterwards) {
    LinePacer pacer(1000, 100);  // a byte a millisecond, a turn every 10 ms
    pacer.beginSlot();
    EXPECT_EQ(pacer.send(5), 5ms);
    pacer.beginSlot();  // turn at 10 ms, 50 bytes: busy until 60 ms
    EXPECT_EQ(pacer.send(50), 60ms);
    pacer.beginSlot();  // its turn (20 ms) has passed: at once when the line is free
    EXPECT_EQ(pacer.send(5), 65ms);
    pacer.beginSlot();  // turns count on from 60 ms, not from 0
    EXPECT_EQ(pacer.send(5), 75ms);

    pacer.restart(1000ms);  // as after a pause: the next turn one period on
    pacer.beginSlot();
    EXPECT_EQ(pacer.send(5), 1015ms);
}

TEST(SimulatorPacing, UnpacedLineAndSliceSizes) {
    LinePacer unpaced(0, 0);
    unpaced.beginSlot();
    EXPECT_EQ(unpaced.send(1'000'000), 0ms);
    EXPECT_EQ(unpaced.sliceBytes(), 4096u);

    EXPECT_EQ(LinePacer(11'520, 0).sliceBytes(), 230u);  // 20 ms of line time
    EXPECT_EQ(LinePacer(1, 0).sliceBytes(), 1u);
    EXPECT_EQ(LinePacer(10'000'000, 0).sliceBytes(), 4096u);
}

// --- The command line ---------------------------------------------------------------------------

ParsedCommandLine parse(std::vector<std::string_view> args) {
    return parseCommandLine(args);
}

TEST(SimulatorOptions, ReadsEveryOption) {
    const ParsedCommandLine parsed =
        parse({"--format", "xml", "--rate=0", "--baud", "9600", "--count", "12", "--seed",
               "18446744073709551615", "--split", "--start-mid", "--garbage-brackets", "--no-close",
               "2000000", "--wait-reader", "--record", "/tmp/sent.bin", "--drop-every", "0.25"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const Options& o = *parsed.options;
    EXPECT_EQ(o.format, RecordFormat::Xml);
    EXPECT_EQ(o.recordsPerSecond, 0);
    EXPECT_EQ(o.bytesPerSecond(), 960);
    EXPECT_EQ(o.count, 12u);
    EXPECT_EQ(o.seed, UINT64_MAX);
    EXPECT_TRUE(o.noise.split && o.noise.startMid && o.noise.garbageBrackets);
    EXPECT_TRUE(o.noise.garbage) << "brackets in the junk mean junk";
    EXPECT_EQ(o.noise.unclosedBytes, 2'000'000u);
    EXPECT_TRUE(o.waitReader);
    EXPECT_EQ(o.recordPath, "/tmp/sent.bin");
    EXPECT_EQ(o.dropEvery, 250ms);

    const ParsedCommandLine none = parse({});
    ASSERT_TRUE(none.options);
    EXPECT_EQ(none.options->devicePath, "");
    EXPECT_EQ(none.options->recordsPerSecond, 10);
    EXPECT_EQ(none.options->baud, 115200);
    EXPECT_EQ(none.options->count, 0u);
    EXPECT_FALSE(none.options->seed);

    EXPECT_TRUE(parse({"--rate", "5", "--help"}).helpWanted);
    EXPECT_NE(usageText().find("--drop-every"), std::string::npos);
}

TEST(SimulatorOptions, RefusesBadValues) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--rate", "-1"},
        {"--rate", "+5"},
        {"--rate", " 5"},
        {"--rate", "5x"},
        {"--rate", "1000001"},
        {"--rate"},
        {"--baud", "5"},
        {"--baud", "99999999999999999999"},
        {"--baud="},
        {"--count", "0"},
        {"--seed", "-3"},
        {"--seed", "18446744073709551616"},
        {"--format", "json"},
        {"--no-close", "0"},
        {"--drop-every", "0"},
        {"--drop-every", "-1"},
        {"--drop-every", "nan"},
        {"--drop-every", "2s"},
        {"--device", ""},
        {"--split=yes"},
        {"--bogus"},
        {"rate"},
        {"--device", "/tmp/file", "--wait-reader"},
        {"--device", "/tmp/file", "--drop-every", "2"},
    };
    for (const auto& args : bad) {
        const ParsedCommandLine parsed = parse(args);
        const std::string shown = ::testing::PrintToString(args);
        EXPECT_FALSE(parsed.options) << shown;
        EXPECT_FALSE(parsed.helpWanted) << shown;
        EXPECT_FALSE(parsed.error.empty()) << shown;
    }
    EXPECT_EQ(parse({"--rate"}).error, "--rate needs a value");
}

// --- The built program on a pseudo-terminal -----------------------------------------------------

// Every wait on the program gives up after this much silence, so a hung simulator fails the test
// rather than hanging it.
constexpr int kSilenceMs = 10'000;

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "vornel_sim_" + name + "_" + std::to_string(::getpid());
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Reads until the far end is closed, or until at least `enough` bytes came.
std::string readDevice(int fd, std::size_t enough = SIZE_MAX) {
    std::string got;
    char buffer[4096];
    while (got.size() < enough) {
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, kSilenceMs) <= 0) {
            ADD_FAILURE() << "nothing from the device for " << kSilenceMs << " ms";
            break;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;  // 0 or EIO: the far end is gone
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

int openDevice(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NOCTTY);
}

// vornel-sim as a child process: its stdout comes through a pipe, its stderr goes to a file.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv{const_cast<char*>(VORNEL_SIM_PROGRAM)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, VORNEL_SIM_PROGRAM, &actions, nullptr, argv.data(), environ)) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~SimulatorProcess() {
        // Ended as Ctrl+C ends it, so that it ends as a run does (a coverage build writes its
        // counts then); killed if it does not end.
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
        if (pid_ > 0 && finish() == -1 && pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        std::remove(errPath_.c_str());
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int number) const { ::kill(pid_, number); }

    // The next line on its stdout, without the newline; "" if none came.
    std::string nextLine() {
        std::size_t end;
        while ((end = lines_.find('\n')) == std::string::npos) {
            pollfd in{out_, POLLIN, 0};
            char buffer[256];
            ssize_t n = 0;
            if (::poll(&in, 1, kSilenceMs) <= 0 || (n = ::read(out_, buffer, sizeof buffer)) <= 0) {
                return {};
            }
            lines_.append(buffer, static_cast<std::size_t>(n));
        }
        std::string line = lines_.substr(0, end);
        lines_.erase(0, end + 1);
        return line;
    }

    // Waits for it to end; its exit status, or -1 if it was killed or did not end in time.
    int finish() {
        int status = 0;
        for (int waited = 0; ::waitpid(pid_, &status, WNOHANG) == 0; waited += 10) {
            if (waited > kSilenceMs) {
                return -1;  // the destructor kills it
            }
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string errText() const { return fileText(errPath_); }

    // What is left on its stdout, up to the end.
    std::string restOfOutput() {
        std::string rest = std::exchange(lines_, {});
        char buffer[4096];
        ssize_t n = 0;
        pollfd in{out_, POLLIN, 0};
        while (::poll(&in, 1, kSilenceMs) > 0 && (n = ::read(out_, buffer, sizeof buffer)) > 0) {
            rest.append(buffer, static_cast<std::size_t>(n));
        }
        return rest;
    }

private:
    const std::string errPath_ = tempPath("stderr");
    pid_t pid_ = -1;
    int out_ = -1;
    std::string lines_;
};

// The parameter: whether the simulator waits for its reader.
class SimulatorProgram : public ::testing::TestWithParam<bool> {};

TEST_P(SimulatorProgram, WhatArrivesIsWhatItRecorded) {
    const std::string recordPath = tempPath("sent");
    std::vector<std::string> args = {"--count",   "300",      "--seed",   "42",      "--split",
                                     "--garbage", "--format", "mixed",    "--rate",  "0",
                                     "--baud",    "1000000",  "--record", recordPath};
    if (GetParam()) {
        args.push_back("--wait-reader");
    }
    SimulatorProcess simulator(args);
    ASSERT_TRUE(simulator.started());
    const std::string path = simulator.nextLine();
    ASSERT_TRUE(path.starts_with("/dev/pts/")) << "first line: " << path;

    const int device = openDevice(path);
    ASSERT_GE(device, 0) << path;
    // A reader slow to start: the run is over before it reads, so the simulator must wait for it
    // rather than close the far end and throw the queue away.
    std::this_thread::sleep_for(300ms);
    const std::string arrived = readDevice(device);
    ::close(device);
    EXPECT_EQ(simulator.finish(), 0) << simulator.errText();
    const std::string errText = simulator.errText();

    const std::string sent = fileText(recordPath);
    std::remove(recordPath.c_str());
    EXPECT_EQ(arrived.size(), sent.size());
    EXPECT_TRUE(arrived == sent) << "the bytes that arrived differ from those recorded";
    // Junk has no brackets here, so the "]" are the records': --count of them.
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ']'), 300);
    EXPECT_NE(errText.find("300 records, " + std::to_string(sent.size()) + " bytes"),
              std::string::npos)
        << errText;
}

INSTANTIATE_TEST_SUITE_P(Modes, SimulatorProgram, ::testing::Bool(), [](const auto& mode) {
    return mode.param ? "WaitingForTheReader" : "KeepingTheDeviceEndOpen";
});

TEST(SimulatorProgramReader, WritesToAnExistingFileWithoutARecordCopy) {
    const std::string target = tempPath("device");
    std::ofstream(target) << "old text that must go";
    SimulatorProcess simulator({"--device", target, "--count", "40", "--rate", "0", "--seed", "6"});
    ASSERT_TRUE(simulator.started());
    EXPECT_EQ(simulator.finish(), 0) << simulator.errText();
    EXPECT_EQ(simulator.nextLine(), "") << "no pseudo-terminal, so no path";

    const std::string written = fileText(target);
    std::remove(target.c_str());
    EXPECT_TRUE(written.starts_with("[12.3,45,0]\r\n")) << written.substr(0, 40);
    EXPECT_EQ(std::count(written.begin(), written.end(), ']'), 40);
    EXPECT_NE(simulator.errText().find("40 records, " + std::to_string(written.size()) + " bytes"),
              std::string::npos)
        << simulator.errText();
}

TEST(SimulatorProgramReader, PausesWhileTheReaderIsAwayAndGoesOnWhenItReturns) {
    const std::string recordPath = tempPath("paused");
    SimulatorProcess simulator({"--wait-reader", "--rate", "100", "--count", "150", "--seed", "5",
                                "--record", recordPath});
    ASSERT_TRUE(simulator.started());
    const std::string path = simulator.nextLine();
    ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;

    int device = openDevice(path);
    ASSERT_GE(device, 0);
    std::string arrived = readDevice(device, 200);
    ::close(device);

    // At 100 records a second, half a second away would be about 50 records.
    std::this_thread::sleep_for(200ms);
    const std::size_t sentBefore = fileText(recordPath).size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(fileText(recordPath).size(), sentBefore) << "it went on sending with no reader";

    device = openDevice(path);
    ASSERT_GE(device, 0);
    arrived += readDevice(device);
    ::close(device);
    EXPECT_EQ(simulator.finish(), 0) << simulator.errText();

    const std::string sent = fileText(recordPath);
    std::remove(recordPath.c_str());
    EXPECT_GT(sent.size(), sentBefore) << "it did not go on when the reader came back";
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ']'), 150);
    // What was queued when the reader left reached it on its return: nothing lost, nothing twice.
    EXPECT_TRUE(arrived == sent) << arrived.size() << " bytes arrived, " << sent.size() << " sent";
}

TEST(SimulatorProgramReader, DropsTheDeviceAndStopsCleanlyOnSigterm) {
    const std::string recordPath = tempPath("dropped");
    SimulatorProcess simulator(
        {"--drop-every", "1", "--rate", "50", "--seed", "3", "--record", recordPath});
    ASSERT_TRUE(simulator.started());
    const std::string first = simulator.nextLine();
    ASSERT_TRUE(first.starts_with("/dev/pts/")) << first;
    int device = openDevice(first);
    ASSERT_GE(device, 0);
    const std::string beforeDrop = readDevice(device);  // until the device goes away
    ::close(device);

    const std::string second = simulator.nextLine();
    ASSERT_TRUE(second.starts_with("/dev/pts/")) << "no new device after the drop: " << second;
    device = openDevice(second);
    ASSERT_GE(device, 0) << second;
    const std::string afterDrop = readDevice(device, 30);
    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.finish(), 0) << simulator.errText();
    const std::string errText = simulator.errText();
    ::close(device);

    const std::string sent = fileText(recordPath);
    std::remove(recordPath.c_str());
    EXPECT_NE(beforeDrop.find("]\r\n"), std::string::npos);
    EXPECT_TRUE(sent.starts_with(beforeDrop));
    EXPECT_NE(sent.find(afterDrop, beforeDrop.size()), std::string::npos);
    // One summary line, whose byte count the record file, flushed on the way out, matches.
    std::smatch summary;
    ASSERT_TRUE(std::regex_match(
        errText, summary,
        std::regex(R"(vornel-sim: (\d+) records, (\d+) bytes, \d+\.\d\d s \(seed 3\)\n)")))
        << errText;
    EXPECT_EQ(summary[2].str(), std::to_string(sent.size()));
    EXPECT_EQ(summary[1].str(), std::to_string(std::count(sent.begin(), sent.end(), ']')));
}

// --- The manual page -----------------------------------------------------------------------------

// The long options in `--help`: each option line begins with two blanks and "--".
std::set<std::string> optionsOfHelp(const std::string& help) {
    std::set<std::string> names;
    std::istringstream lines(help);
    const std::regex option(R"(^  (--[a-z-]+))");
    std::smatch found;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_search(line, found, option)) {
            names.insert(found[1]);
        }
    }
    return names;
}

// The long options of the page's OPTIONS section: the "--name" in each tagged paragraph's tag,
// the line after ".TP" (roff writes a hyphen as "\-").
std::set<std::string> optionsOfPage(const std::string& page) {
    std::set<std::string> names;
    std::istringstream lines(page);
    const std::regex option(R"(--[a-z-]+)");
    bool inOptions = false;
    bool tag = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(".SH")) {
            inOptions = line == ".SH OPTIONS";
        } else if (inOptions && tag) {
            std::erase(line, '\\');
            for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it) {
                names.insert(it->str());
            }
        }
        tag = line == ".TP";
    }
    return names;
}

TEST(SimulatorManualPage, ListsTheOptionsThatHelpLists) {
    SimulatorProcess simulator({"--help"});
    ASSERT_TRUE(simulator.started());
    const std::string help = simulator.restOfOutput();
    EXPECT_EQ(simulator.finish(), 0);
    const std::set<std::string> helpOptions = optionsOfHelp(help);
    ASSERT_GE(helpOptions.size(), 10u) << help;

    const std::string page = fileText(VORNEL_SIM_MANUAL_PAGE);
    ASSERT_FALSE(page.empty()) << "no page at " << VORNEL_SIM_MANUAL_PAGE;
    EXPECT_EQ(optionsOfPage(page), helpOptions);

    // And each of them is one the program reads.
    for (const std::string& name : helpOptions) {
        const ParsedCommandLine parsed = parse({name, "1"});
        EXPECT_EQ(parsed.error.find("unknown option " + name), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace vornel::sim
