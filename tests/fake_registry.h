#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/program_launcher.h"
#include "platform/registry.h"

namespace vornel::testing {

// Status codes, value types and rights of the real registry that the program itself never uses.
namespace reg {
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kCreateLink = 0x0020;
}  // namespace reg

// A registry holding the keys a test gives it, under HKEY_LOCAL_MACHINE, as a standard user
// sees it (no write rights). It answers like the real one (status codes, kMoreData for a value that
// does not fit) and notes every call and any misuse: a query on a key that is not open, a buffer
// that is not 1024 zeroed bytes, a key closed twice.
class FakeRegistry : public Registry {
public:
    struct Value {
        std::uint32_t type = registry::kSz;
        std::string bytes;  // as stored, terminating zero included where there is one
    };
    struct Key {
        std::map<std::string, Value> values;
        // The rights the key's own permissions grant; asking for more is refused.
        std::uint32_t grantable = 0xF003F;
    };
    // Rights that change a key; besides set value, create subkey and create link: delete,
    // write permissions and take ownership.
    static constexpr std::uint32_t kWriteRights =
        reg::kSetValue | reg::kCreateSubKey | reg::kCreateLink | 0xD0000;
    struct OpenCall {
        RegistryKey root;
        std::string path;
        std::uint32_t options;
        std::uint32_t access;
    };

    std::map<std::string, Key> keys;
    // The caller runs as a standard user, as programs do under UAC: any write right under
    // HKEY_LOCAL_MACHINE is refused, whatever the key itself grants.
    bool standardUser = true;
    std::vector<OpenCall> opens;
    std::vector<std::string> queried;  // value names, in order
    std::vector<std::string> misuse;
    std::map<RegistryKey, std::string> openKeys;  // handle -> path, while open

    Key& key(const std::string& path) { return keys[path]; }

    std::int32_t openKey(RegistryKey root, const std::string& path, std::uint32_t options,
                         std::uint32_t access, RegistryKey& opened) override {
        opens.push_back({root, path, options, access});
        const auto it = keys.find(path);
        if (root != kHKeyLocalMachine || it == keys.end()) {
            return registry::kFileNotFound;
        }
        if ((access & ~it->second.grantable) != 0 ||
            (standardUser && (access & kWriteRights) != 0)) {
            return reg::kAccessDenied;
        }
        opened = nextHandle_++;
        openKeys[opened] = path;
        return registry::kSuccess;
    }

    std::int32_t queryValue(RegistryKey handle, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& count) override {
        queried.push_back(name);
        const auto open = openKeys.find(handle);
        if (open == openKeys.end()) {
            misuse.push_back("query on a key that is not open");
            return registry::kInvalidHandle;
        }
        if (count != 1024 || data == nullptr) {
            misuse.push_back("buffer of " + std::to_string(count) + " bytes");
            return registry::kInvalidHandle;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            if (data[i] != 0) {
                misuse.push_back("buffer not zeroed");
                break;
            }
        }
        const auto& values = keys.at(open->second).values;
        const auto it = values.find(name);
        if (it == values.end()) {
            return registry::kFileNotFound;
        }
        const Value& value = it->second;
        type = value.type;
        if (value.bytes.size() > count) {
            // What the buffer holds now is undefined: make sure nobody reads it.
            std::memset(data, 'X', count);
            count = static_cast<std::uint32_t>(value.bytes.size());
            return registry::kMoreData;
        }
        std::memcpy(data, value.bytes.data(), value.bytes.size());
        count = static_cast<std::uint32_t>(value.bytes.size());
        return registry::kSuccess;
    }

    std::int32_t closeKey(RegistryKey handle) override {
        if (openKeys.erase(handle) == 0) {
            misuse.push_back("closing a key that is not open");
            return registry::kInvalidHandle;
        }
        return registry::kSuccess;
    }

private:
    RegistryKey nextHandle_ = 0x100;
};

// A launcher over a made-up file system: the files a test lists exist and can be started.
class FakeLauncher : public ProgramLauncher {
public:
    std::set<std::string> files;
    std::vector<std::string> attempts;  // every start, whether it worked or not
    std::vector<std::string> started;
    std::vector<std::string> lookedFor;

    bool startProgram(const std::string& path) override {
        attempts.push_back(path);
        if (files.count(path) == 0) {
            return false;
        }
        started.push_back(path);
        return true;
    }

    bool fileExists(const std::string& path) override {
        lookedFor.push_back(path);
        return files.count(path) != 0;
    }
};

}  // namespace vornel::testing
