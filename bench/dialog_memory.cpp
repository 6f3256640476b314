// Heap kept for each "set Hardware" dialog, headless (QT_QPA_PLATFORM=offscreen unless set).
//
// The setup dialog is opened and closed N times over the main window, as "set Hardware" does
// (the dialog closed without SET, so the port is left alone), after N/2 rounds to warm up. The
// heap in use (glibc's mallinfo2: in use in the arenas plus blocks mapped on their own) is read
// before and after, once as it is and once with Qt's pixmap cache emptied. For comparison the
// same is done with plain Qt: a QDialog given a palette of its own, with one editable QComboBox.
//
//   VORNEL_SERIAL_PORTS=/dev/pts/N dialog_memory [--dialogs N]
#include <malloc.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPixmapCache>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "app/guarded_application.h"
#include "app/startup.h"
#include "forms/frmmain.h"
#include "forms/programsetup.h"
#include "platform/program_launcher.h"
#include "platform/registry.h"
#include "serial/device_access.h"
#include "serial/port_table.h"

namespace {

long long heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

// Opens a dialog with `open`, which returns when it is closed; a timer closes it once shown.
void openAndClose(const std::function<void()>& open) {
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    closer.start(1);
    open();
}

struct PerDialog {
    double asItIs = 0;
    double pixmapCacheEmptied = 0;
};

// Heap kept per dialog: with the pixmap cache emptied after each one, and, added to that, what the
// cache held of each dialog (what the heap grows by while the cache is under its limit).
PerDialog measure(int dialogs, const std::function<void()>& open) {
    for (int i = 0; i < dialogs / 2; ++i) {
        openAndClose(open);
    }
    QApplication::processEvents();
    QPixmapCache::clear();
    const long long start = heapInUse();
    long long heldByCache = 0;
    for (int i = 0; i < dialogs; ++i) {
        openAndClose(open);
        QApplication::processEvents();
        const long long withCache = heapInUse();
        QPixmapCache::clear();
        heldByCache += withCache - heapInUse();
    }
    PerDialog result;
    result.pixmapCacheEmptied = static_cast<double>(heapInUse() - start) / dialogs;
    result.asItIs = result.pixmapCacheEmptied + static_cast<double>(heldByCache) / dialogs;
    return result;
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
    int dialogs = 400;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dialogs") == 0 && i + 1 < argc) {
            dialogs = std::atoi(argv[++i]);
        }
    }
    if (dialogs <= 0) {
        std::fprintf(stderr, "usage: %s [--dialogs N]   (N > 0)\n", argv[0]);
        return 2;
    }
    vornel::GuardedApplication app(argc, argv);
    vornel::configureApplication(app);
    vornel::SystemPortTable ports;
    vornel::SystemDeviceProbe probe;
    const std::unique_ptr<vornel::Registry> registry = vornel::createSystemRegistry();
    vornel::SystemProgramLauncher launcher;
    const vornel::PlatformServices services{ports, probe, *registry, launcher};
    vornel::frmMain window(services);
    window.show();

    const PerDialog setup = measure(dialogs, [&] {
        vornel::ProgramSetup dialog(services, &window);
        dialog.exec();
    });
    const PerDialog plain = measure(dialogs, [&] {
        QDialog dialog(&window);
        QPalette palette = dialog.palette();
        palette.setColor(QPalette::Window, Qt::black);
        dialog.setPalette(palette);
        auto* combo = new QComboBox(&dialog);
        combo->setEditable(true);
        dialog.exec();
    });
    std::printf(
        "Heap kept per dialog opened and closed, %d dialogs each, bytes (QPixmapCache "
        "limit %d KiB)\n",
        dialogs, QPixmapCache::cacheLimit());
    std::printf("%-52s %12s %22s\n", "", "as it is", "pixmap cache emptied");
    std::printf("%-52s %12.0f %22.0f\n", "setup dialog (\"set Hardware\")", setup.asItIs,
                setup.pixmapCacheEmptied);
    std::printf("%-52s %12.0f %22.0f\n", "plain QDialog, own palette, editable QComboBox",
                plain.asItIs, plain.pixmapCacheEmptied);
    return 0;
}
