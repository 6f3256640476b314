#include "app/startup.h"

#include <QApplication>
#include <QSocketNotifier>

#include "forms/kit/failure_guard.h"
#include "forms/kit/window_def.h"
#include "platform/application_info.h"

#ifndef Q_OS_WIN
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace vornel {

void configureApplication(QApplication& app) {
    // The name only: a display name would be appended to every window's caption. Windows
    // without a caption (the main window, the splash) are named after the application.
    app.setApplicationName(QString::fromLatin1(application_info::kTitle));
    app.setApplicationVersion(QString::fromLatin1(application_info::kFileVersion));
    app.setFont(definitionFont(kDefaultFont));
}

namespace {
bool g_terminationRequested = false;
}  // namespace

bool terminationRequested() {
    return g_terminationRequested;
}

std::unique_ptr<frmMain> startMainWindow(const std::function<std::unique_ptr<frmMain>()>& load) {
    // Building the window, its load and its first showing all run inside the failure guard.
    std::unique_ptr<frmMain> window;
    runGuarded([&] {
        window = load();
        window->Form_Load();
    });
    if (failure_guard::ending() || g_terminationRequested) {
        return nullptr;
    }
    runGuarded([&] { window->show(); });
    return failure_guard::ending() ? nullptr : std::move(window);
}

std::unique_ptr<frmMain> startVornel(const PlatformServices& services) {
    return startMainWindow([&] { return std::make_unique<frmMain>(services); });
}

#ifdef Q_OS_WIN
void quitOnTerminationSignals() {}
#else
namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    // The write end is non-blocking: when a burst of signals has filled the pipe, the bytes
    // already in it say all there is to say, and the handler must never wait.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}
}  // namespace

void quitOnTerminationSignals() {
    if (g_signalPipe[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        // Everything a burst left in the pipe is taken at once; one request is enough.
        char bytes[4096];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        // Also while the splash is up, before the main event loop runs: start-up sees the flag.
        g_terminationRequested = true;
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}
#endif

}  // namespace vornel
