#pragma once

#include <QDialog>
#include <optional>

#include "forms/kit/clickable.h"
#include "forms/services.h"
#include "forms/setup_fields.h"

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

}  // namespace vornel
