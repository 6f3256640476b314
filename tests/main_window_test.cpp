#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "fake_platform.h"
#include "forms/frmmain.h"
#include "forms/globals.h"
#include "modal.h"
#include "qt_printers.h"
#include "tests/kit/pseudo_terminal.h"
#include "wait_until.h"

namespace vornel {
namespace {

using testing::FakePlatform;
using testing::onNextModal;
using testing::PseudoTerminal;
using testing::waitUntil;

bool lit(const QLabel* indicator) {
    return indicator->autoFillBackground();
}

class MainWindowTest : public ::testing::Test {
protected:
    PseudoTerminal device;
    FakePlatform machine;
    PlatformServices services = machine.services();
    frmMain window{services};
    QLabel* indicator = window.findChild<QLabel*>("DataOK");
    QTimer* timer2 = window.findChild<QTimer*>("Timer2");

    void SetUp() override {
        LastFrame.clear();
        CommPortNumber = 0;
        CommBaudRate = 0;
        CommPortPath.clear();
        machine.ports.list().push_back({device.path(), "pseudo-terminal"});
        window.show();
    }

    QAction* menuItem(const char* name) { return window.findChild<QAction*>(name); }

    // "set Hardware", with the dialog closed by `inDialog`.
    void setHardware(const std::function<void(QWidget*)>& inDialog) {
        const auto watch = onNextModal(inDialog, &window);
        menuItem("SetupHardware")->trigger();
    }
    void setHardwareTo(const QString& port, const QString& baud) {
        setHardware([&](QWidget* dialog) {
            dialog->findChild<QComboBox*>("PortNumber")->setEditText(port);
            dialog->findChild<QComboBox*>("BaudSelect")->setEditText(baud);
            QTest::mouseClick(dialog->findChild<QLabel*>("Exit_no_save"), Qt::LeftButton);
        });
    }
};

TEST_F(MainWindowTest, MenuBarHoldsTheFiveCommandsInOrder) {
    QStringList captions;
    for (QAction* action : window.menuBar()->actions()) {
        captions << action->text();
        EXPECT_EQ(action->menu(), nullptr) << "no sub-items";
        EXPECT_TRUE(action->isEnabled());
        EXPECT_FALSE(action->isCheckable());
        EXPECT_TRUE(action->shortcut().isEmpty());
    }
    EXPECT_EQ(captions, QStringList({"COMMS", "set Hardware", "raw DAta", "About", "Exit"}));
    EXPECT_EQ(window.windowTitle(), "");
#if QT_CONFIG(accessibility)
    // Without a caption, assistive tools name it after the program.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&window)->text(QAccessible::Name), "Vornel");
#endif
    EXPECT_TRUE(window.windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowTitleHint);
    EXPECT_FALSE(window.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                  Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window cannot be resized";
}

TEST_F(MainWindowTest, CommsDoesNothing) {
    const QWidgetList before = QApplication::topLevelWidgets();
    menuItem("setup")->trigger();
    QTest::qWait(50);
    EXPECT_EQ(QApplication::topLevelWidgets(), before);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(lit(indicator));
    EXPECT_FALSE(timer2->isActive());
    EXPECT_EQ(window.commLink().status().reason, LinkFault::NotConfigured);
}

TEST_F(MainWindowTest, IndicatorIsLitAtStartThenFlashesForEachFrame) {
    EXPECT_TRUE(lit(indicator));
    EXPECT_FALSE(timer2->isActive());
    EXPECT_EQ(indicator->palette().color(QPalette::Window), QColor(0, 255, 0));

    setHardwareTo(QString::fromStdString(device.path()), "115200");
    ASSERT_TRUE(window.commLink().status().open);
    EXPECT_TRUE(lit(indicator)) << "stays lit until the first flash has ended";

    device.write("[12.3,45,6]\r\n");
    ASSERT_TRUE(waitUntil([&] { return !LastFrame.empty(); }, 5000));
    EXPECT_EQ(LastFrame, "[12.3,45,6]\r\n");
    EXPECT_TRUE(lit(indicator));
    EXPECT_TRUE(timer2->isActive());
    ASSERT_TRUE(waitUntil([&] { return !lit(indicator); }, 2000));
    EXPECT_FALSE(timer2->isActive());
}

TEST_F(MainWindowTest, ABurstKeepsTheIndicatorLitAndItGoesDarkSoonAfter) {
    setHardwareTo(QString::fromStdString(device.path()), "115200");
    device.write("[0]\r\n");
    ASSERT_TRUE(waitUntil([&] { return !lit(indicator); }, 2000));

    int darkDuringBurst = 0;
    for (int i = 1; i <= 15; ++i) {
        device.write("[" + std::to_string(i) + "]\r\n");
        const std::string expected = "[[" + std::to_string(i) + "]\r\n";
        ASSERT_TRUE(waitUntil([&] { return LastFrame == expected; }, 2000));
        darkDuringBurst += lit(indicator) ? 0 : 1;
        QTest::qWait(60);
        darkDuringBurst += lit(indicator) ? 0 : 1;
    }
    EXPECT_EQ(darkDuringBurst, 0);
    QElapsedTimer sinceLastFrame;
    sinceLastFrame.start();
    ASSERT_TRUE(waitUntil([&] { return !lit(indicator); }, 2000));
    // One interval of the timer after the last frame; generous for a loaded machine.
    EXPECT_LT(sinceLastFrame.elapsed(), 250 + 200);
}

TEST_F(MainWindowTest, SetHardwareOpensTheTypedDeviceAndReopensItWhenLeftWithoutSet) {
    setHardwareTo(QString::fromStdString(device.path()), "9600");
    ASSERT_TRUE(window.commLink().status().open);
    EXPECT_EQ(CommPortPath, device.path());
    EXPECT_EQ(CommBaudRate, 9600);
    const QString tip = indicator->toolTip();
    EXPECT_TRUE(tip.contains(QString::fromStdString(device.path())) && tip.contains("9600,N,8,1"))
        << tip.toStdString();
    EXPECT_EQ(indicator->accessibleDescription(), tip);

    device.write("[1,");
    setHardware([](QWidget* dialog) { dialog->close(); });
    EXPECT_TRUE(window.commLink().status().open);
    EXPECT_EQ(window.commLink().status().device, device.path());
    device.write("2]");
    ASSERT_TRUE(waitUntil([&] { return !LastFrame.empty(); }, 5000));
    EXPECT_EQ(LastFrame, "[1,2]") << "the partial record survives set Hardware";
}

TEST_F(MainWindowTest, FailuresOfSetHardwareAreSilentButShownOnTheIndicator) {
    setHardware([](QWidget* dialog) { dialog->close(); });  // nothing chosen yet
    EXPECT_FALSE(window.commLink().status().open);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no message box";
    EXPECT_TRUE(indicator->toolTip().contains("no port was chosen"))
        << indicator->toolTip().toStdString();

    setHardwareTo("9", "9600");  // the machine has one port
    EXPECT_FALSE(window.commLink().status().open);
    EXPECT_TRUE(indicator->toolTip().contains("does not exist"))
        << indicator->toolTip().toStdString();

    QSerialPort other(QString::fromStdString(device.path()));
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    setHardwareTo(QString::fromStdString(device.path()), "9600");
    EXPECT_FALSE(window.commLink().status().open);
    EXPECT_TRUE(indicator->toolTip().contains("in use")) << indicator->toolTip().toStdString();
}

TEST_F(MainWindowTest, ALostDeviceIsShownAndTheProgramCarriesOn) {
    setHardwareTo(QString::fromStdString(device.path()), "115200");
    device.write("[1]\r\n");
    ASSERT_TRUE(waitUntil([&] { return !LastFrame.empty(); }, 5000));
    device.closeFarEnd();
    ASSERT_TRUE(waitUntil([&] { return !window.commLink().status().open; }, 5000));
    EXPECT_TRUE(indicator->toolTip().contains("went away")) << indicator->toolTip().toStdString();
    EXPECT_EQ(LastFrame, "[1]\r\n");
    EXPECT_TRUE(window.isVisible());
}

// Exit and the system's close command both end the program and release the port.
TEST_F(MainWindowTest, ExitAndTheCloseCommandReleaseThePort) {
    for (const char* how : {"Exit", "close command"}) {
        frmMain other(services);
        other.show();
        const auto watch = onNextModal(
            [&](QWidget* dialog) {
                dialog->findChild<QComboBox*>("PortNumber")
                    ->setEditText(QString::fromStdString(device.path()));
                QTest::mouseClick(dialog->findChild<QLabel*>("Exit_no_save"), Qt::LeftButton);
            },
            &other);
        other.findChild<QAction*>("SetupHardware")->trigger();
        ASSERT_TRUE(other.commLink().status().open) << how;

        window.hide();  // leave `other` as the only window
        QObject context;
        QTimer::singleShot(0, &context, [&] {
            if (std::string(how) == "Exit") {
                other.findChild<QAction*>("exitMENU")->trigger();
            } else {
                other.windowHandle()->close();
            }
        });
        QTimer::singleShot(5000, &context, [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QCoreApplication::exec(), 0) << how << ": the program did not end";
        EXPECT_FALSE(other.isVisible()) << how;
        QSerialPort second(QString::fromStdString(device.path()));
        EXPECT_TRUE(second.open(QIODevice::ReadOnly)) << how << ": the port was not released";
    }
}

}  // namespace
}  // namespace vornel
