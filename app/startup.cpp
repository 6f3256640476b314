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
#include <vector>
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
    [[maybe_unused]] const ssize_t sent =
        ::send(g_signalPipe[1], &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    errno = savedErrno;
}

// Every signal that ends a program unless it is handled, except the faults of the program's own
// code (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP), after which nothing can be
// trusted to end cleanly, and SIGPROF, which belongs to profilers. SIGKILL and SIGSTOP cannot be
// caught; the signals a program stops for or ignores by default (SIGCHLD, SIGWINCH, SIGURG,
// SIGTSTP ...) are left as they are.
std::vector<int> terminatingSignals() {
    std::vector<int> caught{SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM,
                            SIGUSR1, SIGUSR2, SIGVTALRM, SIGXCPU, SIGXFSZ, SIGIO};
#ifdef SIGPWR
    caught.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    caught.push_back(SIGSTKFLT);
#endif
#ifdef SIGRTMIN
    for (int realTime = SIGRTMIN; realTime <= SIGRTMAX; ++realTime) {
        caught.push_back(realTime);
    }
#endif
    return caught;
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
    for (int signal : terminatingSignals()) {
        // A signal ignored from the start stays ignored (nohup ignores SIGHUP, a shell's
        // background job SIGINT and SIGQUIT), and one a library has taken stays its own.
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}
#endif

}  // namespace vornel
