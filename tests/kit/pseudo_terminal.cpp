#include "tests/kit/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vornel::testing {

PseudoTerminal::PseudoTerminal() {
    char name[128] = {};
    if (::openpty(&far_, &near_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    termios raw{};
    ::tcgetattr(near_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(near_, TCSANOW, &raw);
    ::fcntl(far_, F_SETFD, FD_CLOEXEC);
    ::fcntl(near_, F_SETFD, FD_CLOEXEC);
    ::fcntl(far_, F_SETFL, ::fcntl(far_, F_GETFL) | O_NONBLOCK);
    path_ = name;
}

PseudoTerminal::~PseudoTerminal() {
    closeFarEnd();
    if (near_ >= 0) {
        ::close(near_);
    }
}

void PseudoTerminal::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(far_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd room{far_, POLLOUT, 0};
                ::poll(&room, 1, 100);
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("write to pseudo-terminal failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

long PseudoTerminal::speed() const {
    termios now{};
    ::tcgetattr(near_, &now);
    switch (::cfgetospeed(&now)) {
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B115200:
            return 115200;
        default:
            return -1;
    }
}

void PseudoTerminal::closeFarEnd() {
    if (far_ >= 0) {
        ::close(far_);
        far_ = -1;
    }
}

}  // namespace vornel::testing
