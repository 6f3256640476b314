#include "platform/program_launcher.h"

#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_WIN
#include "platform/windows_api.h"
#endif

namespace vornel {

namespace {

// A zero byte cannot be part of a path: the system would quietly cut the path there.
bool usablePath(const std::string& path) {
    return !path.empty() && path.find('\0') == std::string::npos;
}

}  // namespace

bool SystemProgramLauncher::startProgram(const std::string& path) {
    if (!usablePath(path)) {
        return false;
    }
    QProcess process;
    process.setProgram(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
#ifdef Q_OS_WIN
    // A normal window that takes the focus.
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOWNORMAL;
    });
#endif
    return process.startDetached();
}

bool SystemProgramLauncher::fileExists(const std::string& path) {
    if (!usablePath(path)) {
        return false;
    }
    const QFileInfo info(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
    return info.isFile();
}

}  // namespace vornel
