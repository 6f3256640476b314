#include "sim/outlet.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <system_error>
#include <utility>

namespace vornel::sim {

namespace {

using namespace std::chrono_literals;

constexpr auto kReaderLookEvery = 20ms;
// A reader that takes nothing for this long is not waited for any longer.
constexpr auto kReaderGivesUpAfter = 5s;

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::optional<speed_t> speedConstant(std::int64_t baud) {
    static constexpr std::array<std::pair<std::int64_t, speed_t>, 22> kSpeeds = {{
        {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
        {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
        {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
        {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
        {3000000, B3000000}, {4000000, B4000000},
    }};
    for (const auto& [rate, constant] : kSpeeds) {
        if (rate == baud) {
            return constant;
        }
    }
    return std::nullopt;
}

// Raw bytes both ways, no modem lines, and the speed when it is one a terminal knows.
void makeRaw(int fd, std::int64_t baud, const std::string& path) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        fail("cannot read the settings of " + path);
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (baud > 0) {
        if (const auto speed = speedConstant(baud)) {
            ::cfsetspeed(&settings, *speed);
        } else {
            std::cerr << "vornel-sim: " << baud << " is no standard speed; " << path
                      << " keeps its own, pacing still follows " << baud << '\n';
        }
    }
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        fail("cannot set " + path + " raw");
    }
}

}  // namespace

Outlet::Outlet(bool waitForReader) : pseudoTerminal_(true), waitForReader_(waitForReader) {
    openPseudoTerminal();
}

Outlet::Outlet(const std::string& devicePath, std::int64_t baud) : path_(devicePath) {
    // O_TRUNC empties a regular file and means nothing to a device. No O_CREAT: a mistyped
    // device name must not turn into a new file.
    out_ = ::open(devicePath.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_TRUNC);
    if (out_ < 0) {
        fail("cannot open " + devicePath);
    }
    if (::isatty(out_)) {
        makeRaw(out_, baud, devicePath);
    }
}

Outlet::~Outlet() {
    closeAll();
}

void Outlet::openPseudoTerminal() {
    out_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (out_ < 0) {
        fail("cannot make a pseudo-terminal");
    }
    std::array<char, 128> name{};
    if (::grantpt(out_) != 0 || ::unlockpt(out_) != 0 ||
        ::ptsname_r(out_, name.data(), name.size()) != 0) {
        fail("cannot make a pseudo-terminal");
    }
    path_ = name.data();
    ::fcntl(out_, F_SETFL, ::fcntl(out_, F_GETFL) | O_NONBLOCK);

    // The settings stay with the pseudo-terminal when the device end is closed and reopened.
    deviceEnd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (deviceEnd_ < 0) {
        fail("cannot open " + path_);
    }
    makeRaw(deviceEnd_, 0, path_);
    if (waitForReader_) {
        ::close(std::exchange(deviceEnd_, -1));
    }
}

void Outlet::closeAll() {
    if (deviceEnd_ >= 0) {
        ::close(std::exchange(deviceEnd_, -1));
    }
    if (out_ >= 0) {
        ::close(std::exchange(out_, -1));
    }
}

void Outlet::replace() {
    closeAll();
    openPseudoTerminal();
}

bool Outlet::readerAway() {
    pollfd far{out_, 0, 0};
    return ::poll(&far, 1, 0) == 1 && (far.revents & POLLHUP);
}

Outlet::Progress Outlet::write(std::string_view bytes, Clock::time_point deadline,
                               const StopSignal& stop) {
    Progress progress;
    while (progress.written < bytes.size()) {
        pollfd line{out_, POLLOUT, 0};
        const int ready = stop.waitFor(&line, 1, deadline);
        if (ready < 0) {
            fail("poll on " + path_);
        }
        if (ready == 0) {
            break;  // deadline or stop
        }
        if (waitForReader_ && (line.revents & POLLHUP)) {
            // No reader: poll() would report this at once, again and again, so look now and then.
            progress.paused = true;
            stop.sleepUntil(std::min(deadline, Clock::now() + kReaderLookEvery));
            continue;
        }
        if (line.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            errno = EIO;
            fail(path_ + " went away");
        }
        const std::string_view rest = bytes.substr(progress.written);
        const ssize_t n = ::write(out_, rest.data(), rest.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            fail("cannot write to " + path_);
        }
        progress.written += static_cast<std::size_t>(n);
    }
    return progress;
}

void Outlet::drain(const StopSignal& stop) {
    if (!pseudoTerminal_) {
        if (::isatty(out_)) {
            ::tcdrain(out_);
        }
        return;
    }
    int probe = deviceEnd_;
    if (probe < 0) {
        // The reader's own copy cannot be asked; a second one of ours can, unless the reader took
        // the device exclusively (root may still open it).
        if (readerAway()) {
            return;  // what it left stays queued for the next reader; waiting helps nobody
        }
        probe = ::open(path_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) {
            stop.sleepUntil(Clock::now() + 1s);  // blind: give the reader a moment
            return;
        }
    }

    // Bytes just written may not be in the queue yet: it must look empty three times running.
    int emptyLooks = 0;
    int lastQueued = -1;
    auto lastProgress = Clock::now();
    while (emptyLooks < 3 && !stop.requested() &&
           Clock::now() - lastProgress < kReaderGivesUpAfter) {
        int queued = 0;
        if (::ioctl(probe, FIONREAD, &queued) != 0) {
            break;
        }
        emptyLooks = queued == 0 ? emptyLooks + 1 : 0;
        if (lastQueued < 0 || queued < lastQueued) {
            lastProgress = Clock::now();
        }
        lastQueued = queued;
        stop.sleepUntil(Clock::now() + kReaderLookEvery);
    }
    if (probe != deviceEnd_) {
        ::close(probe);
    }
}

}  // namespace vornel::sim
