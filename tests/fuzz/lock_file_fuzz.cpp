// Any content, of any length, in a device's lock file, read for the process it names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/device_lock.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const long pid = vornel::lockFilePid(content);
    FUZZ_CHECK(pid >= 0 && pid <= 999'999'999);

    // Only the first line counts, and blanks around its number do not.
    const std::string_view first = content.substr(0, content.find('\n'));
    FUZZ_CHECK(vornel::lockFilePid(first) == pid);
    FUZZ_CHECK(vornel::lockFilePid(std::string(first) + "\nx 1\n") == pid);
    FUZZ_CHECK(vornel::lockFilePid(" \t" + std::string(first) + " \r\n") == pid);

    if (pid > 0) {
        // The line is the number, padded: uucp-style programs write it as "%10d\n".
        const std::string number = std::to_string(pid);
        const std::size_t at = first.find(number);
        FUZZ_CHECK(at != std::string_view::npos);
        FUZZ_CHECK(first.substr(0, at).find_first_not_of(" \t0") == std::string_view::npos);
        FUZZ_CHECK(first.substr(at + number.size()).find_first_not_of(" \t\r") ==
                   std::string_view::npos);
        char padded[16];
        std::snprintf(padded, sizeof padded, "%10ld\n", pid);
        FUZZ_CHECK(vornel::lockFilePid(padded) == pid);
    }
    return 0;
}
