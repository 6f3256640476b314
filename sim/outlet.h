#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/stop_signal.h"

namespace vornel::sim {

// Where the simulator's bytes go: the far end of a pseudo-terminal it made, whose device end
// (/dev/pts/N) a reader opens as its serial port, or a device or file named on the command line.
// All the simulator's device I/O is here.
class Outlet {
public:
    // A new pseudo-terminal. With `waitForReader` the simulator keeps no copy of the device end
    // open, so that it can tell whether a reader has it open: while nobody has, poll() reports
    // POLLHUP on the far end.
    explicit Outlet(bool waitForReader);
    // An existing device or file; a terminal is set raw at `baud` (0: its speed left alone).
    Outlet(const std::string& devicePath, std::int64_t baud);
    ~Outlet();
    Outlet(const Outlet&) = delete;
    Outlet& operator=(const Outlet&) = delete;

    bool isPseudoTerminal() const { return pseudoTerminal_; }
    // The pseudo-terminal's device end, or the device path.
    const std::string& path() const { return path_; }

    struct Progress {
        std::size_t written = 0;
        bool paused = false;  // the reader was away for a while
    };
    // Writes `bytes` as the line takes them, returning when all are written, at `deadline`, or
    // on a stop request. Waiting for a reader, it writes nothing while none has the device open.
    Progress write(std::string_view bytes, Clock::time_point deadline, const StopSignal& stop);

    // The pseudo-terminal goes away, as a device that is unplugged, and a new one takes its place.
    void replace();

    // Returns once the reader has taken what was sent, so that closing the far end does not throw
    // it away: when the device end's input queue is empty, or has not shrunk for 5 s.
    void drain(const StopSignal& stop);

private:
    void openPseudoTerminal();
    void closeAll();
    bool readerAway();

    bool pseudoTerminal_ = false;
    bool waitForReader_ = false;
    int out_ = -1;        // where bytes are written
    int deviceEnd_ = -1;  // our own copy of the pseudo-terminal's device end, if kept
    std::string path_;
};

}  // namespace vornel::sim
