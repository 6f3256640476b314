// The Windows registry and device probe, run under Wine by tools/windows-check.sh:
//   wine_test.exe --reg      prints the registry file of the values below (for wine reg import)
//   wine_test.exe N...       checks the registry calls the About box makes against those values,
//                            and that of COM1 to COM8 exactly the ports N... can be opened
//   wine_test.exe --version-of EXE   checks the version information of the Windows program
//   wine_test.exe --hold COMn        holds the port, as another program would, until its input
//                                    ends
// Built with MinGW alone: the files under test need no Qt.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/windows_api.h"
#include "serial/device_probe_win.h"

namespace {

using namespace vornel;

const char* const kKey = "SOFTWARE\\Vornel\\Wine check";
const std::string kLong(1500, 'x');  // more than the About box's buffer of 1024 bytes

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const std::string& what) {
    ++(ok ? g_passed : g_failed);
    std::printf("%s %s\n", ok ? "ok    " : "FAILED", what.c_str());
}

void printRegistryFile() {
    std::printf("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\%s]\n", kKey);
    std::printf("\"With zero\"=\"C:\\\\Tools\\\\si.exe\"\n");
    std::printf("\"Number\"=dword:00012a05\n");
    std::printf("\"Long\"=\"%s\"\n", kLong.c_str());
}

struct Read {
    std::int32_t status;
    std::uint32_t type;
    std::uint32_t count;
    std::string bytes;
};

Read read(Registry& registry, RegistryKey key, const std::string& name) {
    std::vector<std::uint8_t> buffer(1024, 0);
    Read r{0, 0, static_cast<std::uint32_t>(buffer.size()), {}};
    r.status = registry.queryValue(key, name, r.type, buffer.data(), r.count);
    if (r.status == registry::kSuccess) {
        r.bytes.assign(buffer.begin(), buffer.begin() + r.count);
    }
    return r;
}

// Text without its terminating zero, which Wine's reg import cannot store (it ends every text
// it imports with a zero): written here with the system's own call.
bool storeTextWithoutZero() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    // The call counts a zero that follows the text as its terminator (Windows does so for a
    // caller that forgot it), so the stored text is followed by one that is not.
    const wchar_t text[] = L"C:\\si-";
    const bool stored =
        RegSetValueExW(key, L"Without zero", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       sizeof text - 2 * sizeof text[0]) == ERROR_SUCCESS;
    RegCloseKey(key);
    return stored;
}

void checkRegistry() {
    check(storeTextWithoutZero(), "text without its terminating zero is stored");
    const std::unique_ptr<Registry> registry = createSystemRegistry();
    RegistryKey key = 0;
    check(registry->openKey(kHKeyLocalMachine, "SOFTWARE\\Vornel\\No such key", 0, registry::kRead,
                            key) == registry::kFileNotFound,
          "a missing key is not found");
    if (registry->openKey(kHKeyLocalMachine, kKey, 0, registry::kRead, key) != registry::kSuccess) {
        check(false, "the imported key opens for reading");
        return;
    }
    const Read with = read(*registry, key, "With zero");
    check(with.status == registry::kSuccess && with.type == registry::kSz &&
              with.bytes == std::string("C:\\Tools\\si.exe", 16),
          "text comes with its terminating zero, counted");
    const Read without = read(*registry, key, "Without zero");
    check(without.status == registry::kSuccess && without.type == registry::kSz &&
              without.bytes == "C:\\si",
          "text stored without a terminating zero comes back without one");
    const Read number = read(*registry, key, "Number");
    check(number.status == registry::kSuccess && number.type == registry::kDword &&
              number.bytes == std::string("\x05\x2A\x01\x00", 4),
          "a DWORD comes as its four bytes, least significant first");
    check(read(*registry, key, "No such value").status == registry::kFileNotFound,
          "a missing value is not found");
    const Read large = read(*registry, key, "Long");
    check(large.status == registry::kMoreData && large.count == kLong.size() + 1,
          "a value larger than the buffer fails and tells its size");
    check(registry->closeKey(key) == registry::kSuccess, "the key closes");
    check(read(*registry, key, "With zero").status == registry::kInvalidHandle,
          "a closed key cannot be read");
    check(registry->closeKey(key) == registry::kInvalidHandle, "a closed key cannot be closed");
}

void checkProbe(const std::string& mapped) {
    std::string byName;
    std::string byPath;
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "COM" + std::to_string(n);
        byName += windowsDeviceCanBeOpened(name) ? std::to_string(n) + " " : "";
        byPath += windowsDeviceCanBeOpened("\\\\.\\" + name) ? std::to_string(n) + " " : "";
    }
    check(byName == mapped, "ports that open by name: " + byName + "(expected " + mapped + ")");
    check(byPath == mapped,
          "ports that open as \\\\.\\COMn: " + byPath + "(expected " + mapped + ")");
}

// The version resource's fixed part and its texts, as Explorer shows them.
void checkVersion(const std::string& program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    std::vector<char> data(size);
    check(size > 0 && GetFileVersionInfoA(program.c_str(), 0, size, data.data()) != 0,
          "the program has version information");
    if (size == 0) {
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) == 0 ||
        fixed == nullptr) {
        check(false, "the version information has its fixed part");
        return;
    }
    auto dotted = [](DWORD high, DWORD low) {
        return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
               std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
    };
    const std::string file = dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    check(file == "1.0.0.4", "file version " + file);
    check((fixed->dwFileType == VFT_APP), "the file is an application");
    for (const auto& [name, want] : {std::pair<std::string, std::string>{"FileVersion", "1.0.0.4"},
                                     {"ProductVersion", "1.0.4"},
                                     {"ProductName", "Vornel"}}) {
        char* text = nullptr;
        const std::string path = "\\StringFileInfo\\040904B0\\" + name;
        const bool found = VerQueryValueA(data.data(), path.c_str(),
                                          reinterpret_cast<void**>(&text), &length) != 0;
        const std::string got = found && text != nullptr ? std::string(text) : "(none)";
        check(got == want, name + " " + got);
    }
}

int holdPort(const std::string& port) {
    HANDLE handle = CreateFileA(("\\\\.\\" + port).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::printf("cannot hold %s\n", port.c_str());
        return 1;
    }
    std::printf("holding %s\n", port.c_str());
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    CloseHandle(handle);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--reg") {
        printRegistryFile();
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--hold") {
        return holdPort(argv[2]);
    }
    if (argc == 3 && std::string(argv[1]) == "--version-of") {
        checkVersion(argv[2]);
        std::printf("%d passed, %d failed\n", g_passed, g_failed);
        return g_failed == 0 && g_passed > 0 ? 0 : 1;
    }
    std::string mapped;
    for (int i = 1; i < argc; ++i) {
        mapped += std::string(argv[i]) + " ";
    }
    checkRegistry();
    checkProbe(mapped);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
