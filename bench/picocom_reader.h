#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vornel::bench {

// picocom reading a pseudo-terminal with its output going to /dev/null, as the yardstick for
// our receive path. Started by the constructor, which returns once picocom holds the device and
// waits for input; stopped by the destructor.
//
// It runs in a session of its own, because when it is told to stop it signals its whole process
// group, and its stdin is a pipe that stays silent, because at end of file on stdin it quits.
class PicocomReader {
public:
    explicit PicocomReader(const std::string& device);
    ~PicocomReader();
    PicocomReader(const PicocomReader&) = delete;
    PicocomReader& operator=(const PicocomReader&) = delete;

    // Bytes picocom has read so far (rchar in /proc/<pid>/io). Its stdin stays silent, so once
    // it is running every new byte read came from the device.
    std::uint64_t bytesRead() const;
    // CPU seconds picocom has used so far, user and system (/proc/<pid>/stat).
    double cpuSeconds() const;

private:
    void stop();

    pid_t pid_ = -1;
    int stdinPipe_ = -1;
};

}  // namespace vornel::bench
