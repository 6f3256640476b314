#include "platform/system_info_stand_in.h"

#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cstring>

namespace vornel {

namespace {

constexpr const char* kStandInKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kStandInValue = "PATH";

// Registry names compare without regard to case.
bool sameName(const std::string& a, const char* b) {
    return QString::fromLocal8Bit(a).compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

SystemInfoStandIn::SystemInfoStandIn() = default;

SystemInfoStandIn::SystemInfoStandIn(QStringList searchPaths)
    : searchPaths_(std::move(searchPaths)) {}

const std::vector<const char*>& SystemInfoStandIn::programNames() {
    // Programs that describe the machine's hardware and system come before task managers.
    static const std::vector<const char*> names{
        "hardinfo2",
        "hardinfo",
        "lshw-gtk",
        "gnome-system-monitor",
        "plasma-systemmonitor",
        "ksysguard",
        "xfce4-taskmanager",
    };
    return names;
}

std::string SystemInfoStandIn::findProgram() const {
    for (const char* name : programNames()) {
        const QString found =
            searchPaths_.isEmpty()
                ? QStandardPaths::findExecutable(QString::fromLatin1(name))
                : QStandardPaths::findExecutable(QString::fromLatin1(name), searchPaths_);
        if (!found.isEmpty()) {
            return QFile::encodeName(found).toStdString();
        }
    }
    return {};
}

std::int32_t SystemInfoStandIn::openKey(RegistryKey root, const std::string& path,
                                        std::uint32_t options, std::uint32_t /*access*/,
                                        RegistryKey& opened) {
    if (root != kHKeyLocalMachine || options != 0 || !sameName(path, kStandInKey)) {
        return registry::kFileNotFound;
    }
    opened = nextKey_++;
    open_.push_back(opened);
    return registry::kSuccess;
}

std::int32_t SystemInfoStandIn::queryValue(RegistryKey key, const std::string& name,
                                           std::uint32_t& type, std::uint8_t* data,
                                           std::uint32_t& count) {
    if (std::find(open_.begin(), open_.end(), key) == open_.end()) {
        return registry::kInvalidHandle;
    }
    if (!sameName(name, kStandInValue)) {
        return registry::kFileNotFound;
    }
    const std::string program = findProgram();
    if (program.empty()) {
        return registry::kFileNotFound;
    }
    // Stored as the registry stores text: with its terminating zero.
    const auto size = static_cast<std::uint32_t>(program.size() + 1);
    type = registry::kSz;
    if (data == nullptr) {
        // Asked only for the size.
        count = size;
        return registry::kSuccess;
    }
    if (count < size) {
        count = size;
        return registry::kMoreData;
    }
    std::memcpy(data, program.c_str(), size);
    count = size;
    return registry::kSuccess;
}

std::int32_t SystemInfoStandIn::closeKey(RegistryKey key) {
    const auto it = std::find(open_.begin(), open_.end(), key);
    if (it == open_.end()) {
        return registry::kInvalidHandle;
    }
    open_.erase(it);
    return registry::kSuccess;
}

#ifndef _WIN32
std::unique_ptr<Registry> createSystemRegistry() {
    return std::make_unique<SystemInfoStandIn>();
}
#endif

}  // namespace vornel
