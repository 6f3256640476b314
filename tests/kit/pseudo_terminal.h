#pragma once

#include <string>
#include <string_view>

namespace vornel::testing {

// A raw pseudo-terminal whose device end (/dev/pts/N) the code under test or measurement opens
// as a serial port; the test plays the device on the far end. Shared by the tests and the
// benchmarks. Neither end is passed on to child processes, and the far end does not block: a
// writer waits in poll(), never in write(), so a reader that stops cannot hang it for good.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& path() const { return path_; }
    int farEnd() const { return far_; }

    // Writes all of `bytes` from the far end, waiting while the terminal's buffer is full.
    void write(std::string_view bytes);
    // Closes the far end, as a device that goes away.
    void closeFarEnd();
    // The line speed the device end is set to, in bits per second.
    long speed() const;

private:
    int far_ = -1;
    int near_ = -1;
    std::string path_;
};

}  // namespace vornel::testing
