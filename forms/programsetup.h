#pragma once

#include <QDialog>
#include <optional>

#include "forms/kit/clickable.h"
#include "forms/services.h"

class QLabel;

namespace vornel {

class ComboField;

// "Basic COMM Setup": the one-row dialog in which the user picks the port and the line speed.
// Loading it probes ports 1 to 8 and lists those that can be opened now. "SET" stores the two
// fields in CommBaudRate and CommPortNumber (or a typed device path in CommPortPath) and closes
// the dialog; closing it any other way stores nothing.
class ProgramSetup : public QDialog {
    Q_OBJECT

public:
    ProgramSetup(const PlatformServices& services, QWidget* owner);

    void Exit_no_save_Click();

private:
    void Form_Load();

    const PlatformServices& services_;
    QLabel* Label1_ = nullptr;
    ComboField* PortNumber_ = nullptr;
    QLabel* Label2_ = nullptr;
    ComboField* BaudSelect_ = nullptr;
    LabelButton* Exit_no_save_ = nullptr;
};

// What the port field holds: a port number from 0 to 255, or (on Linux) a device path.
struct PortField {
    std::uint8_t number = 0;
    std::string path;  // set when a device path was typed
};
std::optional<PortField> readPortField(const QString& text);

// What the speed field holds: a line speed in bits per second, a whole number from 1 to the
// largest signed 32-bit value. No line runs at 0 or fewer bits per second.
std::optional<std::int32_t> readBaudField(const QString& text);

}  // namespace vornel
