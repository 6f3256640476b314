#pragma once

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "capture/line_settings.h"
#include "capture/serial_service.h"
#include "serial/device_lock.h"
#include "serial/port_table.h"

namespace vornel {

// The serial service over Qt Serial Port. The port is opened read-only, exclusively (Qt's lock
// file, the kernel's exclusive flag, and an flock() lock that picocom, tio and pyserial honour),
// raw and without flow control. A port that another program holds in any of these ways is
// refused before Qt opens it, so its line settings are never touched. It starts closed, at
// 9600,N,8,1, with input length 0, and is closed again when the service is destroyed.
//
// When the device fails or goes away while open (an adapter pulled, the far end of a
// pseudo-terminal closed) Qt reports the same error over and over; the service closes the port
// at the first report and raises onLinkLost instead. Any error the port reports by itself while
// open counts, whatever its kind; those of the service's own calls on it do not. A device that
// was still there when its port failed is reported as no longer answering, and again as removed
// when the first look after finds it gone (a driver hangs a device up before its node goes). While
// the owner waits for the device to come back, a one-second timer looks whether it is there again:
// one stat() of its path a second (on Windows, where a port's name is not a file, one open).
class QtSerialService : public QObject, public SerialService {
    Q_OBJECT

public:
    explicit QtSerialService(const PortTable& ports, QObject* parent = nullptr);
    ~QtSerialService() override;

    void setCommPort(int number) override;
    void setPortDevice(const std::string& path) override;
    std::string deviceName() const override { return device_; }
    void setSettings(std::string_view settings) override;
    void setInputLen(int length) override;
    bool isPortOpen() const override;
    void openPort() override;
    void closePort() override;
    std::string_view input() override;
    void watchForDevice() override;
    void stopWatching() override;

    const LineSettings& lineSettings() const { return settings_; }

private:
    void failIfOpen(const char* what) const;
    bool apply(const LineSettings& settings);
    void handleError(QSerialPort::SerialPortError error);
    [[noreturn]] void throwOpenFailure();

    const PortTable& ports_;
    QSerialPort port_;  // a child of the service, destroyed before it
    DeviceLock lock_;
    QTimer watch_;        // while waiting for the device to come back
    std::string named_;   // the device as the user or the port table named it
    std::string device_;  // its canonical path
    LineSettings settings_;
    std::string taken_;  // what input() took last; its room is kept from one read to the next
    int ownCalls_ = 0;   // the service's own calls on the port under way
    bool seemedToStopAnswering_ = false;  // the device was there when its port failed
};

}  // namespace vornel
