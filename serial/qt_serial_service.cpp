#include "serial/qt_serial_service.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "serial/device_access.h"
#include "serial/device_lock.h"

namespace vornel {

namespace {

QSerialPort::Parity toQt(Parity parity) {
    switch (parity) {
        case Parity::None:
            return QSerialPort::NoParity;
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Mark:
            return QSerialPort::MarkParity;
        case Parity::Space:
            return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::One:
            return QSerialPort::OneStop;
        case StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case StopBits::Two:
            return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

// Marks the service's own calls on the port: what goes wrong in them is dealt with there, and is
// no news of the device.
class OwnCall {
public:
    explicit OwnCall(int& depth) : depth_(depth) { ++depth_; }
    ~OwnCall() { --depth_; }
    OwnCall(const OwnCall&) = delete;
    OwnCall& operator=(const OwnCall&) = delete;

private:
    int& depth_;
};

}  // namespace

QtSerialService::QtSerialService(const PortTable& ports, QObject* parent)
    : QObject(parent), ports_(ports), port_(this) {
    port_.setFlowControl(QSerialPort::NoFlowControl);
    apply(settings_);
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (onComm) {
            onComm();
        }
    });
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialService::handleError);
    watch_.setInterval(1000);
    connect(&watch_, &QTimer::timeout, this, [this] {
        if (devicePresent(named_)) {
            if (onDeviceMayBeBack) {
                onDeviceMayBeBack();
            }
        } else if (std::exchange(seemedToStopAnswering_, false) && onLinkLost) {
            // A kernel driver hangs a device up before its node goes (a USB adapter pulled out),
            // so the node may still have been there when the port failed.
            onLinkLost(SerialFailure(LinkFault::DeviceGone, "the device was removed"));
        }
    });
}

QtSerialService::~QtSerialService() {
    // Closing first keeps the error handler from running while the port is torn down.
    port_.disconnect(this);
    watch_.stop();
    port_.close();
    lock_.release();
}

void QtSerialService::failIfOpen(const char* what) const {
    if (port_.isOpen()) {
        throw SerialFailure(LinkFault::OpenFailed,
                            std::string("the port is open; cannot change its ") + what);
    }
}

void QtSerialService::setCommPort(int number) {
    failIfOpen("port number");
    if (number <= 0) {
        throw SerialFailure(LinkFault::NoPortChosen, "no port chosen");
    }
    const std::optional<SerialDevice> device = ports_.port(number);
    if (!device) {
        throw SerialFailure(
            LinkFault::NoSuchPort,
            "this machine has " + std::to_string(ports_.devices().size()) + " serial port(s)");
    }
    named_ = device->path;
    device_ = canonicalDevicePath(named_);
    port_.setPortName(QString::fromStdString(device_));
}

void QtSerialService::setPortDevice(const std::string& path) {
    failIfOpen("device");
    if (path.empty()) {
        throw SerialFailure(LinkFault::NoPortChosen, "no device named");
    }
    // A link such as /dev/serial/by-id/... names the device it points to, so that the lock
    // file is the one every other program takes for that device.
    named_ = path;
    device_ = canonicalDevicePath(path);
    port_.setPortName(QString::fromStdString(device_));
}

void QtSerialService::setSettings(std::string_view text) {
    const std::optional<LineSettings> parsed = parseLineSettings(text);
    if (!parsed) {
        throw SerialFailure(LinkFault::SettingsRefused,
                            "\"" + std::string(text) + "\" is not a valid settings string");
    }
    const OwnCall call(ownCalls_);
    if (port_.isOpen() && !apply(*parsed)) {
        const std::string reason = port_.errorString().toStdString();
        port_.clearError();
        apply(settings_);
        throw SerialFailure(LinkFault::SettingsRefused, reason);
    }
    settings_ = *parsed;
    if (!port_.isOpen()) {
        apply(settings_);
    }
}

void QtSerialService::setInputLen(int length) {
    // Every read takes all that waits; no other length is ever asked for.
    if (length != 0) {
        throw SerialFailure(LinkFault::OpenFailed,
                            "input length " + std::to_string(length) + " is not supported");
    }
}

bool QtSerialService::isPortOpen() const {
    return port_.isOpen();
}

bool QtSerialService::apply(const LineSettings& settings) {
    bool ok = port_.setBaudRate(settings.baudRate);
    ok = port_.setParity(toQt(settings.parity)) && ok;
    ok = port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) && ok;
    ok = port_.setStopBits(toQt(settings.stopBits)) && ok;
    return ok;
}

void QtSerialService::openPort() {
    if (port_.isOpen()) {
        throw SerialFailure(LinkFault::OpenFailed, "the port is already open");
    }
    if (device_.empty()) {
        throw SerialFailure(LinkFault::NoPortChosen, "no port chosen");
    }
    // A link may point elsewhere by now (a device that was plugged in again).
    device_ = canonicalDevicePath(named_);
    port_.setPortName(QString::fromStdString(device_));
    // The device is taken the way other serial programs take theirs before Qt opens it, so that
    // a device they hold is refused before its line settings could be touched.
    if (device_ != named_ && lockFileState(named_) == LockFileState::Live) {
        throw SerialFailure(LinkFault::InUse, "another program holds the lock file of " + named_);
    }
    switch (lock_.acquire(device_)) {
        case DeviceAccess::Granted:
            break;
        case DeviceAccess::Missing:
            throw SerialFailure(LinkFault::NoSuchPort, lock_.detail());
        case DeviceAccess::NotSerial:
            throw SerialFailure(LinkFault::NotSerial, lock_.detail());
        case DeviceAccess::InUse:
            throw SerialFailure(LinkFault::InUse, lock_.detail());
        case DeviceAccess::PermissionDenied:
            throw SerialFailure(LinkFault::PermissionDenied,
                                permissionDetail(device_, lock_.detail()),
                                deviceOwnerGroup(device_));
        case DeviceAccess::LeftBehind:
            throw SerialFailure(LinkFault::StaleLock, lock_.detail());
        case DeviceAccess::Failed:
            throw SerialFailure(LinkFault::OpenFailed, lock_.detail());
    }
    const OwnCall call(ownCalls_);
    seemedToStopAnswering_ = false;
    port_.clearError();
    if (!port_.open(QIODevice::ReadOnly)) {
        lock_.release();
        throwOpenFailure();
    }
    // Devices that wait for DTR before they talk need it raised. A pseudo-terminal has no modem
    // lines and refuses the call; that is harmless.
    if (!port_.setDataTerminalReady(true)) {
        port_.clearError();
    }
}

void QtSerialService::throwOpenFailure() {
    const QSerialPort::SerialPortError error = port_.error();
    const std::string text = port_.errorString().toStdString();
    port_.clearError();
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            throw SerialFailure(LinkFault::NoSuchPort, text);
        case QSerialPort::PermissionError:
            // Qt reports a held lock, a busy device and a refused permission alike.
            if (text.find("lock") != std::string::npos) {
                // Qt could not take its lock file: one that another program took meanwhile, or
                // a leftover that appeared after the device was taken.
                switch (lockFileState(device_)) {
                    case LockFileState::Live:
                        throw SerialFailure(LinkFault::InUse, text);
                    case LockFileState::Ended:
                    case LockFileState::Unowned:
                        throw SerialFailure(LinkFault::StaleLock, text);
                    case LockFileState::None:
                        throw SerialFailure(LinkFault::OpenFailed,
                                            "its lock file could not be made: " + text);
                }
            }
            // NOLINTNEXTLINE(concurrency-mt-unsafe): only the event thread asks for error texts
            if (text.find(std::strerror(EBUSY)) != std::string::npos) {
                throw SerialFailure(LinkFault::InUse, text);
            }
            throw SerialFailure(LinkFault::PermissionDenied, permissionDetail(device_, text),
                                deviceOwnerGroup(device_));
        case QSerialPort::UnsupportedOperationError:
            throw SerialFailure(LinkFault::SettingsRefused, text);
        default:
            throw SerialFailure(LinkFault::OpenFailed, text);
    }
}

void QtSerialService::closePort() {
    const OwnCall call(ownCalls_);
    watch_.stop();
    port_.close();
    lock_.release();
}

void QtSerialService::watchForDevice() {
    watch_.start();
}

void QtSerialService::stopWatching() {
    watch_.stop();
}

std::string_view QtSerialService::input() {
    const qint64 waiting = port_.isOpen() ? port_.bytesAvailable() : 0;
    if (waiting <= 0) {
        return {};
    }
    // Read straight into room that stays allocated: no buffer is made, copied and freed per read.
    if (taken_.size() < static_cast<std::size_t>(waiting)) {
        taken_.resize(static_cast<std::size_t>(waiting));
    }
    const qint64 got = port_.read(taken_.data(), waiting);
    return {taken_.data(), got > 0 ? static_cast<std::size_t>(got) : 0};
}

void QtSerialService::handleError(QSerialPort::SerialPortError error) {
    // An error the port reports by itself while open comes from its receive path, and whatever
    // its kind the device is lost: how a device that goes away is reported is up to the system
    // and its driver (a read or resource error on Linux; on Windows a resource, permission or
    // unknown error, such as the broken pipe that Wine reports).
    if (error == QSerialPort::NoError || ownCalls_ > 0 || !port_.isOpen()) {
        return;
    }
    // Qt's error text is whatever failed last, often a stale "Inappropriate ioctl for device":
    // say what happened instead. The device is looked for once the port is closed (on Windows
    // looking opens it, which the open port would refuse).
    const OwnCall call(ownCalls_);
    const std::string qtError = port_.errorString().toStdString();
    port_.close();
    lock_.release();
    port_.clearError();
    const bool gone = !devicePresent(device_);
    seemedToStopAnswering_ = !gone;
    const std::string text = gone ? std::string("the device was removed")
                                  : "the device stopped answering (" + qtError + ")";
    if (onLinkLost) {
        onLinkLost(SerialFailure(LinkFault::DeviceGone, text));
    }
}

}  // namespace vornel
