#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include "capture/comm_link.h"
#include "forms/services.h"
#include "serial/qt_serial_service.h"

class QLabel;

namespace vornel {

class WindowDragger;
class raw;

// The main window: a strip with the title, the maker's line and the frame indicator `DataOK`,
// the menu bar, and the serial port `MSComm1` with its receive handler. Closing it ends the
// program and releases the port.
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit frmMain(const PlatformServices& services, QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs once while the window loads, before it is shown.
    void Form_Load();

    // Menu commands.
    void SetupHardware_Click();
    void RAWdataMENU_Click();
    void about_Click();
    void exitMENU_Click();

    // The serial port's receive notification and the end of each indicator flash.
    void MSComm1_OnComm();
    void Timer2_Timer();

    const CommLink& commLink() const { return link_; }

    // What the controls load (the labels' fonts) and the placing of the window under its menu
    // bar, which measures the bar: done once, after the splash has been drawn or, at the latest,
    // when the window is first shown.
    void finishLoading();

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void startFlash();
    void showLinkStatus();

    PlatformServices services_;
    QWidget* client_ = nullptr;
    bool loaded_ = false;
    QLabel* Label11_ = nullptr;
    QLabel* Label4_ = nullptr;
    QLabel* DataOK_ = nullptr;
    QTimer* Timer2_ = nullptr;
    bool flashing_ = false;  // Timer2 runs, and so the indicator is lit
    QElapsedTimer sinceFlashStarted_;
    QtSerialService MSComm1_;
    CommLink link_;
    WindowDragger* dragger_ = nullptr;
    QPointer<raw> raw_;  // the raw data window while it is open
};

}  // namespace vornel
