// Memory kept by each window the user opens again and again: the "set Hardware" dialog, the raw
// data window and the About box, each opened, drawn and closed N times over the main window, as
// the menu commands do. Headless by default (QT_QPA_PLATFORM=offscreen unless set); with
// QT_QPA_PLATFORM=xcb and DISPLAY on an X server (bench/run.sh --memory starts an Xvfb).
//
// Each window in a process of its own: the resident set after the first 10 openings and after all
// N, and the heap in use (glibc's mallinfo2: in use in the arenas plus blocks mapped on their own)
// over the same openings, per opening; then how much of that heap Qt's pixmap cache held. For
// comparison the same is done with plain Qt: a QDialog given a palette of its own, with one
// editable QComboBox. Exits 1 when a window's resident set grew by more than 1 MiB after its first
// 10 openings.
//
//   VORNEL_SERIAL_PORTS=/dev/pts/N dialog_memory [--dialogs N]
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPixmapCache>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include "app/guarded_application.h"
#include "app/startup.h"
#include "forms/frmabout.h"
#include "forms/frmmain.h"
#include "forms/globals.h"
#include "forms/programsetup.h"
#include "forms/raw.h"
#include "platform/program_launcher.h"
#include "platform/registry.h"
#include "serial/device_access.h"
#include "serial/port_table.h"

namespace {

constexpr int kFirstOpenings = 10;
constexpr long long kAllowedGrowth = 1024 * 1024;  // resident set, bytes

long long heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

long long residentSet() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Runs the event loop until `done` holds.
void waitUntil(const std::function<bool()>& done) {
    while (!done()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
}

// Draws a window that is on the screen: once its system window is exposed, a full repaint, so
// that every control has been drawn at least once, as the user would see it.
void draw(QWidget* window) {
    waitUntil([window] { return window->windowHandle() && window->windowHandle()->isExposed(); });
    window->repaint();
}

// Opens a modal dialog with `open`, which returns when it is closed: a timer draws and closes it
// once it is shown.
void openModal(const std::function<void()>& open) {
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        closer.stop();
        draw(modal);
        modal->close();
    });
    closer.start(1);
    open();
}

struct Figures {
    long long residentAfterFirst = 0;
    long long residentAfterAll = 0;
    double heapPerOpening = 0;
    double heldByPixmapCache = 0;  // of the heap per opening
};

// Opens and closes a window `openings` times with `openOnce`, which returns when it has closed.
Figures measure(int openings, const std::function<void()>& openOnce) {
    const auto cycle = [&] {
        openOnce();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    };
    for (int i = 0; i < kFirstOpenings; ++i) {
        cycle();
    }
    Figures figures;
    figures.residentAfterFirst = residentSet();
    const long long heapAfterFirst = heapInUse();
    for (int i = kFirstOpenings; i < openings; ++i) {
        cycle();
    }
    figures.residentAfterAll = residentSet();
    const long long heapAfterAll = heapInUse();
    QPixmapCache::clear();
    const double counted = openings - kFirstOpenings;
    figures.heapPerOpening = static_cast<double>(heapAfterAll - heapAfterFirst) / counted;
    figures.heldByPixmapCache = static_cast<double>(heapAfterAll - heapInUse()) / counted;
    return figures;
}

// The offscreen platform says, for every window shown, that it cannot raise it.
QtMessageHandler defaultHandler = nullptr;
void dropRaiseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.contains(QLatin1StringView("does not support raise()"))) {
        defaultHandler(type, context, text);
    }
}

enum class Window { Setup, Raw, About, Plain };

// Measures one window in a process of its own, from an empty pixmap cache and a resident set
// that no other window has grown.
Figures measureInThisProcess(int argc, char** argv, Window which, int openings) {
    vornel::GuardedApplication app(argc, argv);
    vornel::configureApplication(app);
    vornel::SystemPortTable ports;
    vornel::SystemDeviceProbe probe;
    const std::unique_ptr<vornel::Registry> registry = vornel::createSystemRegistry();
    vornel::SystemProgramLauncher launcher;
    const vornel::PlatformServices services{ports, probe, *registry, launcher};
    vornel::frmMain window(services);
    window.show();
    draw(&window);
    // A frame of three rows for the raw data window to show.
    vornel::LastFrame = std::string(150, '7') + "]\r\n[";

    switch (which) {
        case Window::Setup:
            return measure(openings, [&] {
                vornel::ProgramSetup dialog(services, &window);
                openModal([&] { dialog.exec(); });
            });
        case Window::Raw:
            return measure(openings, [&] {
                window.RAWdataMENU_Click();
                QPointer<vornel::raw> viewer = window.findChild<vornel::raw*>();
                viewer->Timer1_Timer();
                draw(viewer);
                viewer->close();
            });
        case Window::About:
            return measure(openings, [&] {
                vornel::frmAbout dialog(services, &window);
                openModal([&] { dialog.exec(); });
            });
        case Window::Plain:
            break;
    }
    return measure(openings, [&] {
        QDialog dialog(&window);
        QPalette palette = dialog.palette();
        palette.setColor(QPalette::Window, Qt::black);
        dialog.setPalette(palette);
        auto* combo = new QComboBox(&dialog);
        combo->setEditable(true);
        openModal([&] { dialog.exec(); });
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("VORNEL_SERIAL_PORTS")) {
        std::fprintf(stderr,
                     "set VORNEL_SERIAL_PORTS, so that no serial device of this machine "
                     "is probed\n");
        return 2;
    }
    int openings = 1000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dialogs") == 0 && i + 1 < argc) {
            openings = std::atoi(argv[++i]);
        }
    }
    if (openings <= kFirstOpenings) {
        std::fprintf(stderr, "usage: %s [--dialogs N]   (N > %d)\n", argv[0], kFirstOpenings);
        return 2;
    }
    defaultHandler = qInstallMessageHandler(dropRaiseWarnings);

    const struct {
        const char* name;
        Window window;
    } rows[] = {
        {"setup dialog (\"set Hardware\")", Window::Setup},
        {"raw data window (\"raw DAta\")", Window::Raw},
        {"About box", Window::About},
        {"plain QDialog, own palette, editable QComboBox", Window::Plain},
    };
    std::printf("Memory kept per window opened, drawn and closed, %d times each, on \"%s\"\n",
                openings, qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("%-48s %13s %13s %10s %12s %11s\n", "", "RSS after 10", "RSS after N", "growth",
                "heap/opening", "of it cache");
    std::fflush(stdout);
    int status = 0;
    for (const auto& row : rows) {
        const pid_t child = ::fork();
        if (child == 0) {
            const Figures figures = measureInThisProcess(argc, argv, row.window, openings);
            const long long growth = figures.residentAfterAll - figures.residentAfterFirst;
            std::printf("%-48s %9lld KiB %9lld KiB %6lld KiB %10.0f B %9.0f B\n", row.name,
                        figures.residentAfterFirst / 1024, figures.residentAfterAll / 1024,
                        growth / 1024, figures.heapPerOpening, figures.heldByPixmapCache);
            std::fflush(stdout);
            ::_exit(growth > kAllowedGrowth && row.window != Window::Plain ? 1 : 0);
        }
        int childStatus = 0;
        if (child < 0 || ::waitpid(child, &childStatus, 0) != child || !WIFEXITED(childStatus)) {
            std::printf("%-48s did not finish\n", row.name);
            status = 1;
        } else if (WEXITSTATUS(childStatus) != 0) {
            status = 1;
        }
    }
    if (status != 0) {
        std::printf(
            "FAILED: a window's resident set grew by more than %lld KiB after its first "
            "%d openings\n",
            kAllowedGrowth / 1024, kFirstOpenings);
    }
    return status;
}
