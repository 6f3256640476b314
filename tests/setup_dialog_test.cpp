#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSerialPort>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>

#include "fake_platform.h"
#include "forms/globals.h"
#include "forms/programsetup.h"
#include "modal.h"
#include "qt_printers.h"
#include "tests/kit/pseudo_terminal.h"

namespace vornel {
namespace {

using testing::FakePlatform;
using testing::onNextModal;

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

class SetupDialogTest : public ::testing::Test {
protected:
    FakePlatform machine;
    PlatformServices services = machine.services();

    void SetUp() override {
        CommPortNumber = 0;
        CommBaudRate = 0;
        CommPortPath.clear();
        for (int n = 1; n <= 8; ++n) {
            machine.ports.list().push_back(
                {"/dev/ttyUSB" + std::to_string(n - 1), "USB UART " + std::to_string(n)});
        }
    }

    // Opens a dialog, types into its fields and clicks "SET"; returns the text of the message
    // box that refused the input, if one came up.
    QString typeAndSet(const QString& port, const QString& baud, bool* closed = nullptr) {
        ProgramSetup dialog(services, nullptr);
        dialog.show();
        auto* portField = dialog.findChild<QComboBox*>("PortNumber");
        auto* baudField = dialog.findChild<QComboBox*>("BaudSelect");
        portField->setEditText(port);
        baudField->setEditText(baud);
        QString refusal;
        const auto watch = onNextModal([&](QWidget* box) {
            auto* message = qobject_cast<QMessageBox*>(box);
            refusal = message->windowTitle() + "|" + message->text();
            message->accept();
        });
        QTest::mouseClick(dialog.findChild<QLabel*>("Exit_no_save"), Qt::LeftButton);
        if (closed != nullptr) {
            *closed = !dialog.isVisible();
        }
        return refusal;
    }
};

TEST_F(SetupDialogTest, ListsEveryPortThatCanBeOpenedWithItsDevice) {
    ProgramSetup dialog(services, nullptr);
    auto* port = dialog.findChild<QComboBox*>("PortNumber");
    EXPECT_EQ(itemsOf(port), QStringList({"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(port->currentText(), "3");
    EXPECT_EQ(port->itemData(4, Qt::ToolTipRole).toString(), "/dev/ttyUSB4, USB UART 5");
    EXPECT_TRUE(port->isEditable());
    EXPECT_EQ(dialog.windowTitle(), "Basic COMM Setup");
}

TEST_F(SetupDialogTest, BusyOrMissingPortsAreLeftOutWithoutHidingOthers) {
    machine.probe.busy = {"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB3",
                          "/dev/ttyUSB5", "/dev/ttyUSB6", "/dev/ttyUSB7"};
    machine.ports.list().resize(7);  // port 8 has no device at all
    ProgramSetup dialog(services, nullptr);
    auto* port = dialog.findChild<QComboBox*>("PortNumber");
    EXPECT_EQ(itemsOf(port), QStringList({"2", "5"}));
    EXPECT_EQ(port->currentText(), "3");
    EXPECT_EQ(machine.probe.probed.size(), 7U);
}

TEST_F(SetupDialogTest, OffersTheElevenSpeedsInOrder) {
    ProgramSetup dialog(services, nullptr);
    auto* baud = dialog.findChild<QComboBox*>("BaudSelect");
    EXPECT_EQ(itemsOf(baud), QStringList({"300", "600", "1200", "2400", "4800", "9600", "14400",
                                          "28800", "33600", "57600", "115200"}));
    EXPECT_EQ(baud->currentText(), "4800");
    EXPECT_TRUE(baud->isEditable());
}

// Measured with the font the field is drawn in and the room its style leaves it (inside the
// frame and the drop-down button), and seen in what it draws: nothing of the text is scrolled
// out of view, whichever end the cursor is at. Run at QT_SCALE_FACTOR=2 too.
TEST_F(SetupDialogTest, EveryListedValueShowsWholeInItsField) {
    ProgramSetup dialog(services, nullptr);
    dialog.show();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") {
        EXPECT_EQ(dialog.devicePixelRatio(), 2.0);
    }
    for (const char* name : {"PortNumber", "BaudSelect"}) {
        auto* combo = dialog.findChild<QComboBox*>(name);
        QLineEdit* field = combo->lineEdit();
        EXPECT_EQ(combo->view()->font(), field->font()) << name << ": the list in the same font";
        QStyleOptionFrame frame;
        frame.initFrom(field);
        frame.lineWidth = 0;
        // A text field draws its text 2 pixels inside its contents, and scrolls it unless it
        // fits with 1 pixel for the cursor after it.
        const int room =
            field->style()->subElementRect(QStyle::SE_LineEditContents, &frame, field).width() -
            2 * 2 - 1;
        const QFontMetrics metrics = field->fontMetrics();
        ASSERT_GT(combo->count(), 0) << name;
        for (int i = 0; i < combo->count(); ++i) {
            const QString item = combo->itemText(i);
            combo->setCurrentIndex(i);
            EXPECT_LE(metrics.horizontalAdvance(item), room)
                << name << " " << item.toStdString() << " at " << field->font().pointSizeF()
                << " pt";
            field->setCursorPosition(static_cast<int>(item.size()));
            const QImage atEnd = field->grab().toImage();
            field->setCursorPosition(0);
            EXPECT_EQ(field->grab().toImage(), atEnd) << name << " " << item.toStdString();
        }
    }
}

TEST_F(SetupDialogTest, ATypedPathShowsItsStartOnceLeftAndWholeInTheToolTip) {
    ProgramSetup dialog(services, nullptr);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* port = dialog.findChild<QComboBox*>("PortNumber");
    port->setFocus();
    QTest::keyClick(port->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port->lineEdit(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(port->toolTip(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_GT(port->lineEdit()->cursorPosition(), 0) << "typing stays at its end";
    QTest::keyClick(port, Qt::Key_Tab);
    EXPECT_TRUE(dialog.findChild<QComboBox*>("BaudSelect")->hasFocus());
    EXPECT_EQ(port->lineEdit()->cursorPosition(), 0);
    EXPECT_EQ(port->currentText(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    // A text that shows whole needs no tooltip.
    port->setEditText("12");
    EXPECT_EQ(port->toolTip(), "");
}

#if QT_CONFIG(accessibility)
TEST_F(SetupDialogTest, AssistiveToolsSeeTheFieldsByTheirLabelsAndCanPressSet) {
    CommBaudRate = 1200;
    ProgramSetup dialog(services, nullptr);
    dialog.show();
    dialog.findChild<QComboBox*>("BaudSelect")->setEditText("57600");
    const auto named = [&](const char* control) {
        return QAccessible::queryAccessibleInterface(dialog.findChild<QWidget*>(control));
    };
    EXPECT_EQ(named("PortNumber")->text(QAccessible::Name), "Manual assigned COMM #");
    EXPECT_EQ(named("PortNumber")->text(QAccessible::Value), "3");
    EXPECT_EQ(named("BaudSelect")->text(QAccessible::Name), "Baud Rate Select");
    EXPECT_EQ(named("BaudSelect")->text(QAccessible::Value), "57600");
    EXPECT_EQ(named("BaudSelect")->childCount(), 2) << "its list and its text field";

    QAccessibleInterface* set = named("Exit_no_save");
    EXPECT_EQ(set->role(), QAccessible::Button);
    EXPECT_EQ(set->text(QAccessible::Name), "SET");
    EXPECT_FALSE(set->state().focusable) << "Tab moves between the two fields only";
    ASSERT_NE(set->actionInterface(), nullptr);
    EXPECT_EQ(set->actionInterface()->actionNames(),
              QStringList({QAccessibleActionInterface::pressAction()}));
    set->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 2000);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(CommBaudRate, 57600);
    EXPECT_EQ(CommPortNumber, 3);
}
#endif

TEST_F(SetupDialogTest, EveryOpeningDrawsWithTheSamePaletteAndIconPictures) {
    // Qt keeps what the style draws under the palette's key, and the window system's copy of the
    // icon under the picture's: new keys with every dialog would fill its pixmap cache.
    ProgramSetup first(services, nullptr);
    ProgramSetup second(services, nullptr);
    for (const char* name : {"PortNumber", "BaudSelect"}) {
        EXPECT_EQ(first.findChild<QComboBox*>(name)->palette().cacheKey(),
                  second.findChild<QComboBox*>(name)->palette().cacheKey())
            << name;
    }
    EXPECT_EQ(first.windowIcon().pixmap(32).cacheKey(), second.windowIcon().pixmap(32).cacheKey());
}

TEST_F(SetupDialogTest, SetStoresWhatTheFieldsHold) {
    {
        ProgramSetup dialog(services, nullptr);
        dialog.show();
        auto* baud = dialog.findChild<QComboBox*>("BaudSelect");
        baud->setCurrentIndex(baud->findText("115200"));
        QTest::mouseClick(dialog.findChild<QLabel*>("Exit_no_save"), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(CommBaudRate, 115200);
    EXPECT_EQ(CommPortNumber, 3);

    EXPECT_EQ(typeAndSet("12", "9600"), "");  // a port that was never listed
    EXPECT_EQ(CommPortNumber, 12);
    EXPECT_EQ(CommBaudRate, 9600);
    EXPECT_EQ(typeAndSet(" 255 ", "1"), "");
    EXPECT_EQ(CommPortNumber, 255);
    EXPECT_EQ(CommBaudRate, 1);
    EXPECT_EQ(typeAndSet("0", "2147483647"), "");
    EXPECT_EQ(CommPortNumber, 0);
    EXPECT_EQ(CommBaudRate, 2147483647);
}

TEST_F(SetupDialogTest, TypedTextIsNotCompletedFromTheList) {
    // "1" would complete to 1200, "5" to 57600 and "11" to 115200.
    for (const char* typed : {"1", "5", "11"}) {
        ProgramSetup dialog(services, nullptr);
        dialog.show();
        QLineEdit* field = dialog.findChild<QComboBox*>("BaudSelect")->lineEdit();
        // Completion acts on the field that has the keyboard focus.
        QApplication::setActiveWindow(&dialog);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, typed);
        QTest::mouseClick(dialog.findChild<QLabel*>("Exit_no_save"), Qt::LeftButton);
        EXPECT_EQ(CommBaudRate, QString::fromLatin1(typed).toInt()) << typed;
    }
}

TEST_F(SetupDialogTest, ClosingWithoutSetStoresNothingAndReopeningStartsAfresh) {
    EXPECT_EQ(typeAndSet("5", "9600"), "");
    {
        ProgramSetup dialog(services, nullptr);
        dialog.show();
        EXPECT_EQ(dialog.findChild<QComboBox*>("PortNumber")->currentText(), "3");
        EXPECT_EQ(dialog.findChild<QComboBox*>("BaudSelect")->currentText(), "4800");
        dialog.findChild<QComboBox*>("PortNumber")->setEditText("7");
        dialog.windowHandle()->close();  // the system's close command
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(CommPortNumber, 5);
    EXPECT_EQ(CommBaudRate, 9600);
}

TEST_F(SetupDialogTest, UnreadableInputIsRefusedWithAMessageAndNothingIsStored) {
    CommPortNumber = 4;
    CommBaudRate = 1200;
    const std::pair<const char*, const char*> badPorts[] = {
        {"", "9600"},    {"abc", "9600"}, {"256", "9600"}, {"-1", "9600"},
        {"1.5", "9600"}, {"+3", "9600"},  {"0x10", "9600"}};
    for (const auto& [port, baud] : badPorts) {
        bool closed = true;
        const QString refusal = typeAndSet(port, baud, &closed);
        EXPECT_TRUE(refusal.startsWith("Vornel|Manual assigned COMM #")) << port << refusal;
        EXPECT_TRUE(refusal.contains("0 to 255")) << refusal;
        EXPECT_FALSE(closed) << port;
    }
    const std::pair<const char*, const char*> badSpeeds[] = {
        {"5", ""},      {"5", "fast"}, {"5", "2147483648"}, {"5", "-2147483649"}, {"5", "96 00"},
        {"5", "+9600"}, {"5", "0"},    {"5", "-1"},         {"5", "-0"},          {"5", "-300"}};
    for (const auto& [port, baud] : badSpeeds) {
        bool closed = true;
        const QString refusal = typeAndSet(port, baud, &closed);
        EXPECT_TRUE(refusal.startsWith("Vornel|Baud Rate Select")) << baud << refusal;
        EXPECT_TRUE(refusal.contains("from 1 to 2147483647")) << refusal;
        EXPECT_FALSE(closed) << baud;
    }
    EXPECT_EQ(CommPortNumber, 4);
    EXPECT_EQ(CommBaudRate, 1200);
}

TEST_F(SetupDialogTest, ADevicePathIsStoredUntilANumberIsTyped) {
    CommPortNumber = 2;
    EXPECT_EQ(typeAndSet("/dev/pts/7", "115200"), "");
    EXPECT_EQ(CommPortPath, "/dev/pts/7");
    EXPECT_EQ(CommBaudRate, 115200);
    EXPECT_EQ(typeAndSet("6", "4800"), "");
    EXPECT_EQ(CommPortPath, "");
    EXPECT_EQ(CommPortNumber, 6);
}

TEST(SetupDialogProbe, APortHeldByAnotherOpenerIsNotListedEvenAsRoot) {
    testing::PseudoTerminal free1, held, free2;
    FakePlatform machine;
    machine.ports.list() = {{free1.path(), ""}, {held.path(), ""}, {free2.path(), ""}};
    SystemDeviceProbe probe;
    const PlatformServices services{machine.ports, probe, machine.registry, machine.launcher};

    QSerialPort holder(QString::fromStdString(held.path()));
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    {
        ProgramSetup dialog(services, nullptr);
        EXPECT_EQ(itemsOf(dialog.findChild<QComboBox*>("PortNumber")), QStringList({"1", "3"}));
    }
    holder.close();
    ProgramSetup dialog(services, nullptr);
    EXPECT_EQ(itemsOf(dialog.findChild<QComboBox*>("PortNumber")), QStringList({"1", "2", "3"}));
}

}  // namespace
}  // namespace vornel
