#pragma once

#include <string>

namespace vornel {

// Starts other programs and looks for files. Paths are 8-bit text in the system code page, as
// the registry gives them.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;

    // Starts the program at `path` on its own, in a normal window that takes the focus; nothing
    // waits for it and its process is not followed. False when it cannot be started (an empty
    // path, no such file, not a program).
    virtual bool startProgram(const std::string& path) = 0;

    // Whether a file (not a folder) exists at `path`.
    virtual bool fileExists(const std::string& path) = 0;
};

class SystemProgramLauncher : public ProgramLauncher {
public:
    bool startProgram(const std::string& path) override;
    bool fileExists(const std::string& path) override;
};

}  // namespace vornel
