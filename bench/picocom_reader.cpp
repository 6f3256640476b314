#include "bench/picocom_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vornel::bench {

namespace {

std::string procFile(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The fields of /proc/<pid>/stat after the command name, which may itself hold spaces and
// parentheses: [0] is the state, [11] utime, [12] stime.
std::vector<std::string> statFields(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    std::istringstream rest(stat.substr(stat.rfind(')') + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    if (fields.size() < 13) {
        throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/stat");
    }
    return fields;
}

bool holdsDevice(pid_t pid, const std::string& device) {
    std::error_code error;
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        if (std::filesystem::read_symlink(entry.path(), error) == device) {
            return true;
        }
    }
    return false;
}

}  // namespace

PicocomReader::PicocomReader(const std::string& device) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::setsid();
        ::dup2(fds[0], STDIN_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execlp("picocom", "picocom", "--quiet", "--noreset", "--nolock", "--baud", "115200",
                 device.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[0]);
    stdinPipe_ = fds[1];

    // Ready once it holds the device and sleeps, waiting for input.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            stop();
            throw std::runtime_error("picocom stopped at once (exit status " +
                                     std::to_string(WEXITSTATUS(status)) + ")");
        }
        if (holdsDevice(pid_, device) && statFields(pid_)[0] == "S") {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            throw std::runtime_error("picocom did not open " + device + " within 5 s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

PicocomReader::~PicocomReader() {
    stop();
}

void PicocomReader::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (stdinPipe_ >= 0) {
        ::close(stdinPipe_);
        stdinPipe_ = -1;
    }
}

std::uint64_t PicocomReader::bytesRead() const {
    std::istringstream io(procFile(pid_, "io"));
    for (std::string key; io >> key;) {
        std::uint64_t value = 0;
        io >> value;
        if (key == "rchar:") {
            return value;
        }
    }
    throw std::runtime_error("cannot read /proc/" + std::to_string(pid_) + "/io");
}

double PicocomReader::cpuSeconds() const {
    const std::vector<std::string> fields = statFields(pid_);
    const double ticks = std::stod(fields[11]) + std::stod(fields[12]);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace vornel::bench
