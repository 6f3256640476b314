#pragma once

#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace vornel {

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

    std::int32_t openKey(RegistryKey root, const std::string& path, std::uint32_t options,
                         std::uint32_t access, RegistryKey& opened) override;
    std::int32_t queryValue(RegistryKey key, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& count) override;
    std::int32_t closeKey(RegistryKey key) override;

private:
    // The programs looked for, best first.
    static const std::vector<const char*>& programNames();
    // The full path of the program found now, or empty.
    std::string findProgram() const;

    QStringList searchPaths_;  // empty: the system's PATH
    std::vector<RegistryKey> open_;
    RegistryKey nextKey_ = 0x1000;
};

}  // namespace vornel
