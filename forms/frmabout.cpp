#include "forms/frmabout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <array>

#include "forms/kit/failure_guard.h"
#include "forms/kit/window_def.h"
#include "platform/application_info.h"
#include "resources/pictures.h"

namespace vornel {

namespace {

// The window: caption set at load, fixed border, close button, no minimize or maximize button;
// client area 6780 x 4500 twips; black under a back picture drawn unscaled from the top-left
// corner and clipped at the right and bottom.
const WindowDef kWindow{
    .name = "frmAbout", .clientWidth = 6780, .clientHeight = 4500, .backColour = 0x00000000};

// The description, word for word: two blanks after each full stop and two before the second
// "hardware".
constexpr const char* kDescription =
    "This Program is designed as a tool for viewing the COMM data stream.  The program has user "
    "selectable settings to allow a wide range of COMMS to be viewed.  The program is designed "
    "to be used with logging hardware and is designed to assist decoding of  hardware outputs "
    "srtrings supporting XML type encoded COMM outputs.";

const LabelDef kLblDescription{.name = "lblDescription",
                               .caption = kDescription,
                               .left = 120,
                               .top = 120,
                               .width = 6405,
                               .height = 1725,
                               .foreColour = 0x0080FFFF,
                               .font = FontDef{"MS Sans Serif", 9.75},
                               .wordWrap = true};

const LabelDef kLblDisclaimer{.name = "lblDisclaimer",
                              .caption =
                                  "Warning: this program is owned by Quillfield Labs and "
                                  "comes with no warranties. Use it at your own risk.",
                              .left = 120,
                              .top = 1800,
                              .width = 3975,
                              .height = 825,
                              .foreColour = 0x000000FF,
                              .font = FontDef{"MS Sans Serif", 9.75},
                              .wordWrap = true};

// A picture box showing the 32 x 32 icon at its top-left corner.
const LabelDef kPicIcon{.name = "picIcon", .left = 3120, .top = 3720, .width = 540, .height = 540};

const LabelDef kLblTitle{.name = "lblTitle",
                         .left = 120,
                         .top = 3840,
                         .width = 3885,
                         .height = 480,
                         .foreColour = 0x00FFFFFF,
                         .font = FontDef{"MS Sans Serif", 13.5, true}};

const LabelDef kLblVersion{.name = "lblVersion",
                           .left = 120,
                           .top = 4200,
                           .width = 3885,
                           .height = 345,
                           .foreColour = 0x00FFFFFF,
                           .font = FontDef{"MS Sans Serif", 12, true}};

const ButtonDef kCmdSysInfo{"cmdSysInfo", "&System Info...", 3960, 3840, 1245, 345};
const ButtonDef kCmdOK{"cmdOK", "OK", 5400, 3720, 1260, 585};

// Tab indices 0 to 6; only the buttons take the focus.
const char* const kTabOrder[] = {"cmdOK",         "picIcon",  "cmdSysInfo", "lblDescription",
                                 "lblDisclaimer", "lblTitle", "lblVersion"};

// The separator, the control array Line1, drawn in index order: the grey line lies over the
// upper half of the white one, which gives an etched rule.
const LineDef kLine1[] = {
    {120, 2760, 5669, 2760, 0x00FFFFFF, 2},  // index 0
    {120, 2760, 5684, 2760, 0x00808080, 1},  // index 1
};

// Where the system-information program is registered, tried in this order.
constexpr const char* kSysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kSysInfoValue = "PATH";
constexpr const char* kSysInfoFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kSysInfoFolderValue = "MSINFO";
constexpr const char* kSysInfoProgram = "\\MSINFO32.EXE";

// Read rights only: the look-up writes nothing, and Windows refuses a standard user's program
// write rights under HKEY_LOCAL_MACHINE\SOFTWARE, which would hide the program from it.
constexpr std::uint32_t kKeyAccess = registry::kRead;

constexpr std::size_t kValueBufferSize = 1024;

constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

// Closes an open key on every way out of GetKeyValue, errors included.
class OpenKey {
public:
    OpenKey(Registry& registry, RegistryKey key) : registry_(registry), key_(key) {}
    ~OpenKey() { registry_.closeKey(key_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

private:
    Registry& registry_;
    RegistryKey key_;
};

}  // namespace

frmAbout::frmAbout(const PlatformServices& services, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      backPicture_(pictures::picture(pictures::kAboutBack)) {
    applyWindowDef(this, kWindow);

    lblDescription_ = createLabel(this, kLblDescription);
    lblDisclaimer_ = createLabel(this, kLblDisclaimer);
    picIcon_ = createLabel(this, kPicIcon);
    picIcon_->setPixmap(pictures::picture(pictures::kAboutIcon));
    lblTitle_ = createLabel(this, kLblTitle);
    lblVersion_ = createLabel(this, kLblVersion);
    cmdSysInfo_ = createButton(this, kCmdSysInfo);
    cmdOK_ = createButton(this, kCmdOK);

    // OK is the default button (Enter) and the cancel button (Esc, see keyPressEvent).
    cmdOK_->setDefault(true);
    connect(cmdOK_, &QPushButton::clicked, this, guarded([this] { cmdOK_Click(); }));
    connect(cmdSysInfo_, &QPushButton::clicked, this, guarded([this] { cmdSysInfo_Click(); }));

    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* control = findChild<QWidget*>(QString::fromLatin1(name));
        if (control == nullptr || (control->focusPolicy() & Qt::TabFocus) == 0) {
            continue;
        }
        if (previous != nullptr) {
            setTabOrder(previous, control);
        }
        previous = control;
    }
    cmdOK_->setFocus();

    Form_Load();
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(application_info::kTitle));
    lblVersion_->setText(QStringLiteral("Version %1.%2.%3")
                             .arg(application_info::kMajor)
                             .arg(application_info::kMinor)
                             .arg(application_info::kRevision));
    lblTitle_->setText(QString::fromLatin1(application_info::kTitle));
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    std::string SysInfoPath;
    bool started = false;
    try {
        if (!GetKeyValue(kHKeyLocalMachine, kSysInfoKey, kSysInfoValue, SysInfoPath)) {
            // Not registered with its full path: look for the program in its registered folder.
            if (GetKeyValue(kHKeyLocalMachine, kSysInfoFolderKey, kSysInfoFolderValue,
                            SysInfoPath) &&
                services_.launcher.fileExists(SysInfoPath + kSysInfoProgram)) {
                SysInfoPath += kSysInfoProgram;
                started = services_.launcher.startProgram(SysInfoPath);
            }
        } else {
            started = services_.launcher.startProgram(SysInfoPath);
        }
    } catch (...) {
        started = false;
    }
    if (!started) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(application_info::kTitle),
                        QString::fromLatin1(kUnavailable), QMessageBox::Ok, this);
        box.exec();
    }
}

bool frmAbout::GetKeyValue(RegistryKey KeyRoot, const std::string& KeyName,
                           const std::string& SubKeyRef, std::string& KeyVal) {
    Registry& registry = services_.registry;
    RegistryKey hKey = 0;
    if (registry.openKey(KeyRoot, KeyName, 0, kKeyAccess, hKey) != registry::kSuccess) {
        KeyVal.clear();
        return false;
    }
    const OpenKey closer(registry, hKey);

    std::array<std::uint8_t, kValueBufferSize> buffer{};
    std::uint32_t count = kValueBufferSize;
    std::uint32_t type = 0;
    if (registry.queryValue(hKey, SubKeyRef, type, buffer.data(), count) != registry::kSuccess) {
        KeyVal.clear();
        return false;
    }
    if (count == 0) {
        throw RegistryValueError("The registry value " + KeyName + "\\" + SubKeyRef +
                                 " holds no data.");
    }
    if (count > buffer.size()) {
        throw RegistryValueError("The registry reported more data than the buffer holds for " +
                                 KeyName + "\\" + SubKeyRef + ".");
    }

    // One character a byte; a terminating zero is not part of the text.
    std::string value(reinterpret_cast<const char*>(buffer.data()), count);
    if (value.back() == '\0') {
        value.pop_back();
    }

    switch (type) {
        case registry::kSz:
            KeyVal = value;
            break;
        case registry::kDword: {
            // "&h" and two digits a byte, the last byte (the most significant) first.
            static constexpr char kDigits[] = "0123456789ABCDEF";
            std::string hex = "&h";
            for (auto it = value.rbegin(); it != value.rend(); ++it) {
                const auto byte = static_cast<unsigned char>(*it);
                hex += kDigits[byte >> 4];
                hex += kDigits[byte & 0x0F];
            }
            KeyVal = hex;
            break;
        }
        default:
            // Other types leave the caller's text as it was.
            break;
    }
    return true;
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    // Esc presses the cancel button, which is OK.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        cmdOK_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAbout::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), bgr(kWindow.backColour));
    painter.drawPixmap(0, 0, backPicture_);
    for (const LineDef& line : kLine1) {
        drawLine(painter, line);
    }
}

}  // namespace vornel
