// The real registry, through the ANSI calls (8-bit text in the system code page).
#include "platform/registry.h"

#include "platform/windows_api.h"

namespace vornel {

namespace {

static_assert(sizeof(RegistryKey) == sizeof(HKEY), "a key must fit a RegistryKey");
// Our constants are the system's (compared as unsigned 32-bit values, as the calls take them).
template <typename T>
constexpr std::uint32_t sys(T value) {
    return static_cast<std::uint32_t>(value);
}
static_assert(registry::kSuccess == ERROR_SUCCESS && registry::kMoreData == ERROR_MORE_DATA &&
              registry::kFileNotFound == ERROR_FILE_NOT_FOUND &&
              registry::kInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(registry::kSz == sys(REG_SZ) && registry::kDword == sys(REG_DWORD));
static_assert(registry::kQueryValue == sys(KEY_QUERY_VALUE) &&
              registry::kEnumerateSubKeys == sys(KEY_ENUMERATE_SUB_KEYS) &&
              registry::kNotify == sys(KEY_NOTIFY) && registry::kReadControl == sys(READ_CONTROL) &&
              registry::kRead == sys(KEY_READ));

// The predefined roots are 32-bit values that Windows sign-extends into a 64-bit HKEY
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there); keys that RegOpenKeyEx gave are passed
// back unchanged.
HKEY toHkey(RegistryKey key) {
    if (key >= 0x80000000U && key <= 0x800000FFU) {
        const auto value32 = static_cast<LONG>(static_cast<ULONG>(key));
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value32));
    }
    return reinterpret_cast<HKEY>(key);
}

class WindowsRegistry final : public Registry {
public:
    std::int32_t openKey(RegistryKey root, const std::string& path, std::uint32_t options,
                         std::uint32_t access, RegistryKey& opened) override {
        HKEY key = nullptr;
        const LSTATUS status =
            ::RegOpenKeyExA(toHkey(root), path.c_str(), static_cast<DWORD>(options),
                            static_cast<REGSAM>(access), &key);
        opened = status == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(key) : 0;
        return static_cast<std::int32_t>(status);
    }

    std::int32_t queryValue(RegistryKey key, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& count) override {
        DWORD valueType = 0;
        DWORD size = static_cast<DWORD>(count);
        const LSTATUS status = ::RegQueryValueExA(toHkey(key), name.c_str(), nullptr, &valueType,
                                                  reinterpret_cast<LPBYTE>(data), &size);
        type = static_cast<std::uint32_t>(valueType);
        count = static_cast<std::uint32_t>(size);
        return static_cast<std::int32_t>(status);
    }

    std::int32_t closeKey(RegistryKey key) override {
        return static_cast<std::int32_t>(::RegCloseKey(toHkey(key)));
    }
};

}  // namespace

std::unique_ptr<Registry> createSystemRegistry() {
    return std::make_unique<WindowsRegistry>();
}

}  // namespace vornel
