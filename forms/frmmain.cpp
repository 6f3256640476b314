#include "forms/frmmain.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>

#include "forms/frmabout.h"
#include "forms/frmsplash.h"
#include "forms/globals.h"
#include "forms/kit/failure_guard.h"
#include "forms/kit/menu_bar_def.h"
#include "forms/kit/window_def.h"
#include "forms/kit/window_dragger.h"
#include "forms/programsetup.h"
#include "forms/raw.h"
#include "resources/pictures.h"

namespace vornel {

namespace {

// The window: no title bar, a fixed border, no control box, no minimize or maximize button, a
// taskbar button. Client area 5850 x 660 twips with its top-left corner at 4830, 3750 on the
// screen; dark grey.
const WindowDef kWindow{.name = "frmMain",
                        .clientWidth = 5850,
                        .clientHeight = 660,
                        .left = 4830,
                        .top = 3750,
                        .backColour = 0x00404040};

const LabelDef kLabel11{.name = "Label11",
                        .caption = "Tessaly",
                        .left = 360,
                        .top = 0,
                        .width = 4785,
                        .height = 495,
                        .foreColour = 0x0080FFFF,
                        .font = FontDef{"Palatino Linotype", 18, true, true}};

const LabelDef kLabel4{.name = "Label4",
                       .caption = "Quillfield Labs 2026",
                       .left = 3840,
                       .top = 360,
                       .width = 1935,
                       .height = 255,
                       .foreColour = 0x00FFC0C0,
                       .font = FontDef{"MS Sans Serif", 9.75}};

// The frame indicator: a small green square, lit at load.
const LabelDef kDataOK{.name = "DataOK",
                       .left = 120,
                       .top = 240,
                       .width = 135,
                       .height = 135,
                       .backColour = 0x0000FF00,
                       .backStyle = BackStyle::Opaque};
constexpr std::uint32_t kFlashColour = 0x00FF00;
constexpr int kTimer2Interval = 250;  // ms; disabled at load
// A frame restarts Timer2's interval only once this much of it has passed: at 115200 bit/s frames
// come every millisecond, and restarting a timer costs more than handling the frame. The
// indicator still goes dark at most one interval after the latest frame, and never sooner than
// kTimer2Interval - kTimer2Slack after it.
constexpr int kTimer2Slack = 50;  // ms

// The menu bar: five top-level commands, left to right.
const MenuCommandDef<frmMain> kMenu[] = {
    {"setup", "COMMS", nullptr},
    {"SetupHardware", "set Hardware", &frmMain::SetupHardware_Click},
    {"RAWdataMENU", "raw DAta", &frmMain::RAWdataMENU_Click},
    {"about", "About", &frmMain::about_Click},
    {"exitMENU", "Exit", &frmMain::exitMENU_Click},
};

}  // namespace

frmMain::frmMain(const PlatformServices& services, QWidget* parent)
    : QMainWindow(parent, withoutTitleBar(Qt::Window)),
      services_(services),
      MSComm1_(services.ports),
      link_(MSComm1_, LastFrame, [this] { startFlash(); }) {
    // Now, not later: the splash, shown before this window, takes the icon from its owner.
    setWindowIcon(pictures::mainIcon());
    setAttribute(Qt::WA_QuitOnClose);
#if QT_CONFIG(accessibility)
    // The window has no caption: assistive tools name it after the program.
    setAccessibleName(QStringLiteral("Vornel"));
#endif

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client_ = client;

    // The controls as defined; their fonts are loaded by finishLoading().
    Label11_ = createLabel(client, kLabel11, FontLoading::Later);
    Label4_ = createLabel(client, kLabel4, FontLoading::Later);
    DataOK_ = createLabel(client, kDataOK);
#if QT_CONFIG(accessibility)
    DataOK_->setAccessibleName(QStringLiteral("Frame indicator"));
#endif

    Timer2_ = new QTimer(this);
    Timer2_->setObjectName(QStringLiteral("Timer2"));
    Timer2_->setInterval(kTimer2Interval);
    connect(Timer2_, &QTimer::timeout, this, guarded([this] { Timer2_Timer(); }));

    buildMenuBar<frmMain>(this, kMenu);

    MSComm1_.setObjectName(QStringLiteral("MSComm1"));
    // The link follows the device by itself; the receive notification is this window's.
    MSComm1_.onComm = guarded([this] { MSComm1_OnComm(); });
    link_.onStatusChanged = [this] { showLinkStatus(); };
    showLinkStatus();

    // Without a title bar the window is moved by dragging its body.
    dragger_ = new WindowDragger(this);
    dragger_->dragBy(client);
    dragger_->dragBy(Label11_);
    dragger_->dragBy(Label4_);
}

frmMain::~frmMain() = default;  // the serial service closes the port as it goes

void frmMain::finishLoading() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    fitLabelFont(Label11_, kLabel11);
    fitLabelFont(Label4_, kLabel4);
    placeClientUnderMenuBar(this, client_, kWindow, Sizing::Fixed);
}

void frmMain::setVisible(bool visible) {
    if (visible) {
        finishLoading();
    }
    QMainWindow::setVisible(visible);
}

void frmMain::Form_Load() {
    frmSplash splash(this);
    // The splash is on the screen first; the rest of this window's loading comes after.
    splash.afterFirstPaint(guarded([this] { finishLoading(); }));
    splash.exec();
}

void frmMain::SetupHardware_Click() {
    link_.close();
    {
        ProgramSetup dialog(services_, this);
        dialog.exec();
    }
    link_.apply(CommChoice{CommPortNumber, CommBaudRate, CommPortPath});
}

void frmMain::RAWdataMENU_Click() {
    // One raw data window at most: while it is open it is only brought forward. A window that has
    // been closed is on its way out, even if it has not been destroyed yet: a fresh one is loaded.
    if (raw_.isNull() || raw_->isHidden()) {
        raw_ = new raw(this);
    }
    // Brought forward from the taskbar too; a maximized window stays maximized.
    raw_->setWindowState(raw_->windowState() & ~Qt::WindowMinimized);
    raw_->show();
    raw_->raise();
    raw_->activateWindow();
}

void frmMain::about_Click() {
    frmAbout dialog(services_, this);
    dialog.exec();
}

void frmMain::exitMENU_Click() {
    close();
}

void frmMain::MSComm1_OnComm() {
    link_.onComm();
}

void frmMain::startFlash() {
    // A flash that has only just started goes on as it is: the indicator is lit and Timer2 runs.
    if (flashing_ && sinceFlashStarted_.elapsed() < kTimer2Slack) {
        return;
    }
    Timer2_->start();
    sinceFlashStarted_.start();
    flashing_ = true;
    // Lit already (as at start-up, or by the frame before): its colour is green, as it always is.
    if (backStyle(DataOK_) != BackStyle::Opaque) {
        setBackColour(DataOK_, bgr(kFlashColour));
        setBackStyle(DataOK_, BackStyle::Opaque);
    }
}

void frmMain::Timer2_Timer() {
    setBackStyle(DataOK_, BackStyle::Transparent);
    Timer2_->stop();
    flashing_ = false;
}

void frmMain::showLinkStatus() {
    const QString text = QString::fromStdString(describeLinkStatus(link_.status()));
    DataOK_->setToolTip(text);
#if QT_CONFIG(accessibility)
    DataOK_->setAccessibleDescription(text);
#endif
}

void frmMain::closeEvent(QCloseEvent* event) {
    // The port is released as soon as the window goes, not only when the process ends.
    MSComm1_.closePort();
    QMainWindow::closeEvent(event);
    // The raw data window is owned by this one and closes with it.
    if (!raw_.isNull()) {
        raw_->close();
    }
}

}  // namespace vornel
