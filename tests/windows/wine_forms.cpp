// Vornel's windows as screen readers and scaled screens meet them, under Wine on an X display
// (tests/windows/wine_driven.py runs it); built with the real windows and platform services:
//   wine_forms.exe                the main window and "Basic COMM Setup" in this process: each
//                                 window's name through UI Automation (what Wine 8 answers of it;
//                                 see the README), every control through the accessible interfaces
//                                 Qt's UI Automation provider serves, and SET pressed through them
//   wine_forms.exe --uia NAME     another program's windows through UI Automation: one is NAME
//   wine_forms.exe --scaled SCALE the screen is scaled by SCALE, and every picture is drawn from
//                                 at least as many pixels as it covers
#include <windows.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/guarded_application.h"
#include "app/startup.h"
#include "forms/frmabout.h"
#include "forms/frmsplash.h"
#include "forms/globals.h"
#include "forms/programsetup.h"
#include "resources/pictures.h"

namespace {

using namespace vornel;

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const std::string& what) {
    ++(ok ? g_passed : g_failed);
    std::printf("%s %s\n", ok ? "ok    " : "FAILED", what.c_str());
}

// A window's name through UI Automation, as a screen reader asks for it; the calls come from
// uiautomationcore.dll at run time, since MinGW-w64 10 declares none of them.
std::wstring uiaName(HWND window) {
    const HMODULE core = LoadLibraryW(L"uiautomationcore.dll");
    auto call = [core](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(core, name));
    };
    const auto nodeFromHandle =
        reinterpret_cast<HRESULT(WINAPI*)(HWND, void**)>(call("UiaNodeFromHandle"));
    const auto property =
        reinterpret_cast<HRESULT(WINAPI*)(void*, int, VARIANT*)>(call("UiaGetPropertyValue"));
    const auto release = reinterpret_cast<BOOL(WINAPI*)(void*)>(call("UiaNodeRelease"));
    constexpr int kNameProperty = 30005;
    void* node = nullptr;
    std::wstring name;
    if (nodeFromHandle != nullptr && property != nullptr && release != nullptr &&
        SUCCEEDED(nodeFromHandle(window, &node))) {
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(property(node, kNameProperty, &value)) && value.vt == VT_BSTR) {
            name = value.bstrVal;
        }
        VariantClear(&value);
        release(node);
    }
    return name;
}

void handleEventsUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// One of this program's windows, shown, and its name read on a thread of its own while this one
// handles events, as a screen reader's calls come (from the window's own thread, Wine's UI
// Automation waits for that thread and never returns).
std::string shownAndNamed(QWidget& window) {
    window.show();
    handleEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000);
    const auto read = std::make_shared<std::pair<std::atomic<bool>, std::wstring>>();
    std::thread([read, handle = reinterpret_cast<HWND>(window.winId())] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        read->second = uiaName(handle);
        read->first = true;
    }).detach();
    handleEventsUntil([&] { return read->first.load(); }, 20000);
    return read->first ? QString::fromStdWString(read->second).toStdString() : "(no answer)";
}

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

void readAndWork(const PlatformServices& services) {
    frmMain window(services);
    const std::string main = shownAndNamed(window);
    check(main == "Vornel", "UI Automation: the main window is named " + main);
    QStringList items;
    QAccessibleInterface* bar = accessible(window.menuBar());
    for (int i = 0; i < bar->childCount(); ++i) {
        items << (bar->child(i)->role() == QAccessible::MenuItem ? "" : "not an item: ") +
                     bar->child(i)->text(QAccessible::Name);
    }
    check(accessible(&window)->role() == QAccessible::Window &&
              items.join(", ") == "COMMS, set Hardware, raw DAta, About, Exit",
          "accessible: a window, with the menu items " + items.join(", ").toStdString());

    ProgramSetup dialog(services, &window);
    const std::string setup = shownAndNamed(dialog);
    check(setup == "Basic COMM Setup", "UI Automation: the dialog is named " + setup);
    auto* port = dialog.findChild<QComboBox*>(QStringLiteral("PortNumber"));
    auto* baud = dialog.findChild<QComboBox*>(QStringLiteral("BaudSelect"));
    QAccessibleInterface* set = accessible(dialog.findChild<QWidget*>("Exit_no_save"));
    check(accessible(port)->text(QAccessible::Name) == "Manual assigned COMM #" &&
              accessible(port)->role() == QAccessible::ComboBox &&
              accessible(baud)->text(QAccessible::Name) == "Baud Rate Select" &&
              accessible(baud)->role() == QAccessible::ComboBox,
          "accessible: the fields are combo boxes named after their labels");
    check(set->role() == QAccessible::Button && set->text(QAccessible::Name) == "SET" &&
              set->actionInterface() != nullptr &&
              set->actionInterface()->actionNames() ==
                  QStringList{QAccessibleActionInterface::pressAction()},
          "accessible: SET is a button with a press action");
    // What Invoke calls: the dialog closes and the choice is stored.
    port->setEditText(QStringLiteral("12"));
    baud->setEditText(QStringLiteral("9600"));
    set->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    handleEventsUntil([&] { return !dialog.isVisible(); }, 5000);
    check(!dialog.isVisible() && CommPortNumber == 12 && CommBaudRate == 9600,
          "pressed: the dialog closed, port " + std::to_string(CommPortNumber) + " and " +
              std::to_string(CommBaudRate) + " bit/s stored");
}

void readOthers(const std::string& name) {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    QStringList names;
    for (HWND window : windows) {
        const std::wstring read = IsWindowVisible(window) != 0 ? uiaName(window) : L"";
        names << (read.empty() ? QStringList{} : QStringList{QString::fromStdWString(read)});
    }
    check(names.contains(QString::fromStdString(name)),
          "UI Automation from another process: windows named " + names.join(", ").toStdString());
}

// A picture covering `covered` (device-independent pixels) is sharp when it has at least as many
// pixels as it covers on the screen.
void sharp(const QPixmap& picture, QSizeF covered, const std::string& what) {
    const QSize device = (covered * qApp->devicePixelRatio()).toSize();
    check(picture.width() >= device.width() && picture.height() >= device.height(),
          what + ": " + std::to_string(picture.width()) + "x" + std::to_string(picture.height()) +
              " pixels for " + std::to_string(device.width()) + "x" +
              std::to_string(device.height()));
}

void checkScaled(double scale, const PlatformServices& services) {
    check(std::abs(qApp->devicePixelRatio() - scale) < 0.01,
          "the screen is scaled by " + QString::number(qApp->devicePixelRatio()).toStdString());
    frmSplash splash(nullptr);
    const QLabel* logo = splash.findChild<QLabel*>(QStringLiteral("imgLogo"));
    sharp(logo->pixmap(), logo->size(), "the splash picture, stretched over its box");
    frmAbout about(services, nullptr);
    const QLabel* icon = about.findChild<QLabel*>(QStringLiteral("picIcon"));
    sharp(icon->pixmap(), icon->pixmap().deviceIndependentSize(), "the About box's icon");
    const QPixmap back = pictures::picture(pictures::kAboutBack);
    sharp(back, back.deviceIndependentSize(), "the About box's back picture, drawn unscaled");
}

}  // namespace

int main(int argc, char* argv[]) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    GuardedApplication app(argc, argv);
    configureApplication(app);
    SystemPortTable ports;
    SystemDeviceProbe probe;
    const std::unique_ptr<Registry> registry = createSystemRegistry();
    SystemProgramLauncher launcher;
    const PlatformServices services{ports, probe, *registry, launcher};
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode == "--uia") {
        readOthers(argv[2]);
    } else if (mode == "--scaled") {
        checkScaled(std::stod(argv[2]), services);
    } else {
        readAndWork(services);
    }
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    // A UI Automation call that never returned may still hold its thread.
    std::_Exit(g_failed == 0 && g_passed > 0 ? 0 : 1);
}
