#include "forms/programsetup.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <limits>

#include "forms/globals.h"
#include "forms/kit/clickable.h"
#include "forms/kit/combo_field.h"
#include "forms/kit/failure_guard.h"
#include "forms/kit/window_def.h"
#include "resources/pictures.h"

namespace vornel {

namespace {

// The window: caption "Basic COMM Setup", fixed border, no control box, no minimize or
// maximize button; client area 6765 x 615 twips at 4755, 3225 on the screen; black.
const WindowDef kWindow{.name = "ProgramSetup",
                        .caption = "Basic COMM Setup",
                        .clientWidth = 6765,
                        .clientHeight = 615,
                        .left = 4755,
                        .top = 3225,
                        .backColour = 0x00000000};

// Controls, all on one row, left to right.
const LabelDef kLabel1{.name = "Label1",
                       .caption = "Manual assigned COMM #",
                       .left = 120,
                       .top = 120,
                       .width = 1890,
                       .height = 240,
                       .foreColour = 0x0000FFFF};

const ComboDef kPortNumber{"PortNumber", "3", 2040, 120, 615, 315};

const LabelDef kLabel2{.name = "Label2",
                       .caption = "Baud Rate Select",
                       .left = 2760,
                       .top = 120,
                       .width = 1575,
                       .height = 255,
                       .foreColour = 0x0000FFFF};

const ComboDef kBaudSelect{"BaudSelect", "4800", 4080, 120, 855, 315};

const LabelDef kExitNoSave{.name = "Exit_no_save",
                           .caption = "SET",
                           .left = 5160,
                           .top = 120,
                           .width = 1455,
                           .height = 375,
                           .backColour = 0x000080FF,
                           .backStyle = BackStyle::Opaque,
                           .font = FontDef{"MS Sans Serif", 13.5, true},
                           .alignment = Qt::AlignHCenter | Qt::AlignTop};

// The ports probed, and the speeds offered in this order (19200 and 38400 are not).
constexpr int kFirstProbedPort = 1;
constexpr int kLastProbedPort = 8;
const char* const kSpeeds[] = {"300",   "600",   "1200",  "2400",  "4800",  "9600",
                               "14400", "28800", "33600", "57600", "115200"};

void refuse(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vornel"), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

ProgramSetup::ProgramSetup(const PlatformServices& services, QWidget* owner)
    : QDialog(owner, withCloseCommand(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)),
      services_(services) {
    setWindowIcon(pictures::setupIcon());
    setWindowColour(this, kWindow.backColour);

    Label1_ = createLabel(this, kLabel1);
    PortNumber_ = createComboBox(this, kPortNumber);
    Label2_ = createLabel(this, kLabel2);
    BaudSelect_ = createComboBox(this, kBaudSelect);
    Exit_no_save_ = createLabel<LabelButton>(this, kExitNoSave);
    Exit_no_save_->onClick(guarded([this] { Exit_no_save_Click(); }));

    // Each field is announced by the label in front of it.
    Label1_->setBuddy(PortNumber_);
    Label2_->setBuddy(BaudSelect_);
#if QT_CONFIG(accessibility)
    PortNumber_->setAccessibleName(Label1_->text());
    BaudSelect_->setAccessibleName(Label2_->text());
#endif

    // Labels take no focus: Tab moves between the two fields.
    setTabOrder(PortNumber_, BaudSelect_);
    PortNumber_->setFocus();

    applyWindowDef(this, kWindow);

    Form_Load();
}

void ProgramSetup::Form_Load() {
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
        const std::optional<SerialDevice> device = services_.ports.port(n);
        if (!device || !services_.probe.canOpen(device->path)) {
            continue;
        }
        PortNumber_->addItem(QString::number(n));
        QString tip = QString::fromStdString(device->path);
        if (!device->description.empty()) {
            tip += QStringLiteral(", ") + QString::fromStdString(device->description);
        }
        PortNumber_->setItemData(PortNumber_->count() - 1, tip, Qt::ToolTipRole);
    }
    PortNumber_->setEditText(QString::fromLatin1(kPortNumber.text));
    BaudSelect_->setEditText(QString::fromLatin1(kBaudSelect.text));
    for (const char* speed : kSpeeds) {
        BaudSelect_->addItem(QString::fromLatin1(speed));
    }
    BaudSelect_->setEditText(QString::fromLatin1(kBaudSelect.text));
    PortNumber_->fitFontToItems();
    BaudSelect_->fitFontToItems();
}

void ProgramSetup::Exit_no_save_Click() {
    const std::optional<std::int32_t> baud = readBaudField(BaudSelect_->currentText());
    if (!baud) {
        refuse(this, QStringLiteral("Baud Rate Select: type the line speed in bits per second "
                                    "as a whole number from %1 to %2, for example 9600.")
                         .arg(kLowestSpeed)
                         .arg(std::numeric_limits<std::int32_t>::max()));
        BaudSelect_->setFocus();
        return;
    }
    const std::optional<PortField> port = readPortField(PortNumber_->currentText());
    if (!port) {
#ifdef Q_OS_WIN
        refuse(this, QStringLiteral("Manual assigned COMM #: type a port number from 0 to 255."));
#else
        refuse(this, QStringLiteral("Manual assigned COMM #: type a port number from 0 to 255, "
                                    "or a device path such as /dev/ttyUSB0."));
#endif
        PortNumber_->setFocus();
        return;
    }
    CommBaudRate = *baud;
    if (port->path.empty()) {
        CommPortNumber = port->number;
        CommPortPath.clear();
    } else {
        CommPortPath = port->path;
    }
    accept();
}

}  // namespace vornel
