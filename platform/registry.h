#pragma once

// Standard C++ only: the Windows implementation builds without Qt.

#include <cstdint>
#include <memory>
#include <string>

namespace vornel {

// The system registry, reduced to the three calls the About box makes. Key paths, value names
// and text values are 8-bit text in the system code page; results are the registry's status
// codes (0 on success), so a stand-in answers exactly as the real registry would.
using RegistryKey = std::uintptr_t;

inline constexpr RegistryKey kHKeyLocalMachine = 0x80000002U;

namespace registry {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kFileNotFound = 2;
inline constexpr std::int32_t kInvalidHandle = 6;
inline constexpr std::int32_t kMoreData = 234;

// Value types: the About box reads text and DWORDs.
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kDword = 4;

// Access rights: reading only.
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kNotify = 0x0010;
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

// The registry of this machine: on Windows the real one (registry_win.cpp); elsewhere
// SystemInfoStandIn (system_info_stand_in.h).
std::unique_ptr<Registry> createSystemRegistry();

}  // namespace vornel
