#include "app/command_line.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/application_info.h"

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <dlfcn.h>
#define VORNEL_X11_OR_WAYLAND 1
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vornel {

CommandLineRequest readCommandLine(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help") {
            return CommandLineRequest::Help;
        }
        if (arg == "--version") {
            return CommandLineRequest::Version;
        }
    }
    return CommandLineRequest::Start;
}

std::string usageText() {
    return "Usage: vornel [--help | --version]\n"
           "Watches the bracketed records a measuring device sends over a serial port.\n"
           "\n"
           "  --help     print this help and exit\n"
           "  --version  print the version and exit\n"
           "\n"
           "Any other argument is ignored, apart from the options every Qt program reads\n"
#ifdef Q_OS_WIN
           "(such as -platform name).\n";
#else
           "(such as -platform name). The manual page says more: man vornel.\n";
#endif
}

std::string versionText() {
    return std::string(application_info::kTitle) + " " + std::to_string(application_info::kMajor) +
           "." + std::to_string(application_info::kMinor) + "." +
           std::to_string(application_info::kRevision) + "\nFile version " +
           application_info::kFileVersion + "\n";
}

#ifdef Q_OS_WIN
namespace {

std::wstring wide(const std::string& text) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(),
                        size);
    return converted;
}

// Text files and consoles on Windows end their lines with CR LF.
std::string windowsLines(const std::string& text) {
    std::string lines;
    for (const char c : text) {
        lines += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return lines;
}

bool writeWhole(HANDLE handle, const std::string& text) {
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
               0 &&
           written == text.size();
}

}  // namespace

int showCommandLineText(const std::string& text) {
    // Redirected into a file or a pipe (vornel.exe --version > version.txt): written there.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const DWORD type =
        out != nullptr && out != INVALID_HANDLE_VALUE ? GetFileType(out) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        return writeWhole(out, windowsLines(text)) ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    // Started from a console: written to that console (a process that has one already is refused
    // another).
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != 0;
    if (attached || GetLastError() == ERROR_ACCESS_DENIED) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        const std::wstring lines = wide(windowsLines(text));
        DWORD written = 0;
        const bool whole = console != INVALID_HANDLE_VALUE &&
                           WriteConsoleW(console, lines.data(), static_cast<DWORD>(lines.size()),
                                         &written, nullptr) != 0 &&
                           written == lines.size();
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        if (attached) {
            FreeConsole();
        }
        return whole ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    // Started from the desktop.
    MessageBoxW(nullptr, wide(text).c_str(), wide(application_info::kTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
    return EXIT_SUCCESS;
}
#else
int showCommandLineText(const std::string& text) {
    const bool written = std::fputs(text.c_str(), stdout) >= 0;
    return written && std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? EXIT_SUCCESS
                                                                           : EXIT_FAILURE;
}
#endif

namespace {

// The value of the option `name` (-name or --name, then the value), as Qt reads its own.
std::optional<std::string> optionValue(const std::vector<std::string>& args, const char* name) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == std::string("-") + name || arg == std::string("--") + name) {
            return args[i + 1];
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<DisplayNeed> displayNeed(const std::vector<std::string>& args,
                                       const Environment& environment) {
    auto set = [&](const char* name) {
        const std::optional<std::string> value = environment(name);
        return value && !value->empty() ? value : std::nullopt;
    };
    const std::optional<std::string> display = optionValue(args, "display");
    const std::optional<std::string> x11 = display ? display : set("DISPLAY");
    const std::string wayland = set("WAYLAND_DISPLAY").value_or("wayland-0");

    std::optional<std::string> platforms = optionValue(args, "platform");
    if (!platforms) {
        platforms = set("QT_QPA_PLATFORM");
    }
    DisplayNeed need;
    need.waylandNamed = set("WAYLAND_DISPLAY").has_value();
    if (!platforms) {
        // Qt's own choice: Wayland where the session is one, X11 where a display is named, and
        // X11 when nothing is.
        if (need.waylandNamed || environment("XDG_SESSION_TYPE") == "wayland") {
            need.wayland = wayland;
        }
        need.x11 = x11.value_or("");
        return need;
    }
    // "name:options;name:options ...", tried in turn.
    std::size_t start = 0;
    while (start <= platforms->size()) {
        const std::size_t end = std::min(platforms->find(';', start), platforms->size());
        const std::string entry = platforms->substr(start, end - start);
        const std::string name = entry.substr(0, entry.find(':'));
        if (name == "xcb") {
            need.x11 = x11.value_or("");
        } else if (name.rfind("wayland", 0) == 0) {
            need.wayland = wayland;
        } else if (!name.empty()) {
            return std::nullopt;  // offscreen, minimal, vnc, eglfs ...: no display to reach
        }
        start = end + 1;
    }
    if (!need.x11 && !need.wayland) {
        return std::nullopt;
    }
    return need;
}

std::string noDisplayMessage(const DisplayNeed& need) {
    std::string why;
    if (need.x11 && need.x11->empty()) {
        why =
            need.waylandNamed ? "DISPLAY is not set" : "neither DISPLAY nor WAYLAND_DISPLAY is set";
    } else if (need.x11) {
        why = "cannot connect to the X display \"" + *need.x11 + "\"";
    }
    if (need.wayland) {
        why += (why.empty() ? "" : "; ") +
               ("cannot connect to the Wayland display \"" + *need.wayland + "\"");
    }
    return "vornel: no display to show the windows on: " + why;
}

#ifdef VORNEL_X11_OR_WAYLAND
namespace {

// The client libraries the window system plug-ins connect with, loaded only to try: when one is
// missing, its plug-in cannot run either.
bool x11Reachable(const std::string& display) {
    if (display.empty()) {
        return false;
    }
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) {
        return false;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
        return false;
    }
    // A failed connection is an object too, to be let go like any other.
    void* connection = connect(display.c_str(), nullptr);
    const bool reached = connection != nullptr && hasError(connection) == 0;
    disconnect(connection);
    return reached;
}

bool waylandReachable(const std::string& display) {
    // A socket handed down by the compositor can be connected only once: that is Qt's.
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read at start-up, before any other thread exists
    if (std::getenv("WAYLAND_SOCKET") != nullptr) {
        return true;
    }
    // A display named by a path relative to the runtime folder needs that folder (the library
    // would complain on standard error without it).
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read at start-up, before any other thread exists
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if ((display.empty() || display.front() != '/') && (runtime == nullptr || *runtime == '\0')) {
        return false;
    }
    void* client = ::dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
    if (client == nullptr) {
        return false;
    }
    using Connect = void* (*)(const char*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(client, "wl_display_connect"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(client, "wl_display_disconnect"));
    if (connect == nullptr || disconnect == nullptr) {
        return false;
    }
    void* connection = connect(display.c_str());
    if (connection == nullptr) {
        return false;
    }
    disconnect(connection);
    return true;
}

}  // namespace
#endif

std::optional<std::string> missingDisplay(const std::vector<std::string>& args) {
#ifdef VORNEL_X11_OR_WAYLAND
    const std::optional<DisplayNeed> need =
        displayNeed(args, [](const char* name) -> std::optional<std::string> {
            // NOLINTNEXTLINE(concurrency-mt-unsafe): at start-up, before any other thread exists
            const char* value = std::getenv(name);
            return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
        });
    if (!need || (need->wayland && waylandReachable(*need->wayland)) ||
        (need->x11 && x11Reachable(*need->x11))) {
        return std::nullopt;
    }
    return noDisplayMessage(*need);
#else
    (void)args;
    return std::nullopt;
#endif
}

}  // namespace vornel
