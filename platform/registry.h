#pragma once

#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vornel {

// The system registry, reduced to the three calls the About box makes. Key paths, value names
// and text values are 8-bit text in the system code page; results are the registry's status
// codes (0 on success), so a stand-in answers exactly as the real registry would.
using RegistryKey = std::uintptr_t;

inline constexpr RegistryKey kHKeyLocalMachine = 0x80000002U;

namespace registry {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kFileNotFound = 2;
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::int32_t kInvalidHandle = 6;
inline constexpr std::int32_t kMoreData = 234;

// Value types.
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;

// Access rights.
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kNotify = 0x0010;
inline constexpr std::uint32_t kCreateLink = 0x0020;
inline constexpr std::uint32_t kReadControl = 0x20000;
inline constexpr std::uint32_t kRead = kReadControl | kQueryValue | kEnumerateSubKeys | kNotify;
}  // namespace registry

class Registry {
public:
    virtual ~Registry() = default;

    // RegOpenKeyEx: opens `path` under `root` with the given options and access rights; on
    // success `opened` receives the new key, which the caller closes.
    virtual std::int32_t openKey(RegistryKey root, const std::string& path, std::uint32_t options,
                                 std::uint32_t access, RegistryKey& opened) = 0;

    // RegQueryValueEx: reads the value `name` of `key` into `data`, which has room for `count`
    // bytes. On success `type` and `count` tell the value's type and how many bytes it has; a
    // value that does not fit fails with kMoreData, `count` then telling the size it needs.
    virtual std::int32_t queryValue(RegistryKey key, const std::string& name, std::uint32_t& type,
                                    std::uint8_t* data, std::uint32_t& count) = 0;

    // RegCloseKey.
    virtual std::int32_t closeKey(RegistryKey key) = 0;
};

// The registry of this machine: on Windows the real one; elsewhere the stand-in below.
std::unique_ptr<Registry> createSystemRegistry();

// A registry for machines that have none. It holds a single key,
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO, whose value "PATH" (a REG_SZ with
// its terminating zero) is the full path of the first of the system-information programs
// below found on the search path; without one the value is absent. Nothing else exists.
class SystemInfoStandIn : public Registry {
public:
    // Looks the programs up on PATH.
    SystemInfoStandIn();
    // Looks them up in `searchPaths` only; for tests.
    explicit SystemInfoStandIn(QStringList searchPaths);

    // The programs looked for, best first.
    static const std::vector<const char*>& programNames();

    // The full path of the program found now, or empty.
    std::string findProgram() const;

    std::int32_t openKey(RegistryKey root, const std::string& path, std::uint32_t options,
                         std::uint32_t access, RegistryKey& opened) override;
    std::int32_t queryValue(RegistryKey key, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& count) override;
    std::int32_t closeKey(RegistryKey key) override;

private:
    QStringList searchPaths_;  // empty: the system's PATH
    std::vector<RegistryKey> open_;
    RegistryKey nextKey_ = 0x1000;
};

}  // namespace vornel
