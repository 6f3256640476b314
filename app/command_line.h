#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vornel {

// What the command line asks for. Only --help and --version are the program's own; the options
// every Qt program reads (-platform name ...) are Qt's, and any other argument is ignored.
enum class CommandLineRequest { Start, Help, Version };
CommandLineRequest readCommandLine(const std::vector<std::string>& args);

// What --help and --version print.
std::string usageText();
std::string versionText();

// Shows the text of --help or --version; the program's exit status follows. On standard output,
// where it goes to a file, a pipe or a terminal. On Windows a windowed program has no console of
// its own: started from one, it writes to that console, and started from the desktop (a shortcut,
// Explorer), it shows the text in a message box.
int showCommandLineText(const std::string& text);

// The displays a start would try, as Qt picks its window system from the command line and the
// environment: the X display ("" when X11 would be tried with DISPLAY unset) and the Wayland
// display. Nothing is asked of any display when Qt is to use a platform that needs none
// (offscreen, minimal, vnc, eglfs ...): then there is nothing to check.
struct DisplayNeed {
    std::optional<std::string> x11;
    std::optional<std::string> wayland;
    bool waylandNamed = false;  // WAYLAND_DISPLAY is set
};
using Environment = std::function<std::optional<std::string>(const char* name)>;
std::optional<DisplayNeed> displayNeed(const std::vector<std::string>& args,
                                       const Environment& environment);

// The line for standard error when no display of `need` can be reached.
std::string noDisplayMessage(const DisplayNeed& need);

// The same for this process: the line to print and end with when the window system cannot be
// reached, nothing when it can or there is nothing to check (Windows and macOS among them).
// Each display is tried as Qt would connect to it, and let go.
std::optional<std::string> missingDisplay(const std::vector<std::string>& args);

}  // namespace vornel
