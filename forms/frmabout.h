#pragma once

#include <QDialog>
#include <QPixmap>
#include <stdexcept>
#include <string>

#include "forms/services.h"
#include "platform/registry.h"

class QLabel;
class QPushButton;

namespace vornel {

// Raised by GetKeyValue for a registry value that holds no bytes at all.
class RegistryValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "About Vornel": the program's description, a warning line, its title and version, "OK", and
// "&System Info..." which starts the system-information program found through the registry.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    frmAbout(const PlatformServices& services, QWidget* owner);

    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Finds the system-information program through the registry and starts it, or tells the
    // user that it is unavailable.
    void StartSysInfo();

    // Reads the value `SubKeyRef` of the key `KeyName` under `KeyRoot` into `KeyVal`: text as
    // it is (without a terminating zero), a REG_DWORD as "&h" and hexadecimal digits, any other
    // type leaving `KeyVal` as it was. False, with `KeyVal` empty, when the key cannot be opened
    // or the value cannot be read; a value of no bytes raises RegistryValueError.
    bool GetKeyValue(RegistryKey KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                     std::string& KeyVal);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();

    PlatformServices services_;
    QPixmap backPicture_;
    QLabel* lblDescription_ = nullptr;
    QLabel* lblDisclaimer_ = nullptr;
    QLabel* picIcon_ = nullptr;
    QLabel* lblTitle_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QPushButton* cmdSysInfo_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
};

}  // namespace vornel
