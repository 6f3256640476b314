#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "capture/comm_link.h"
#include "serial/qt_serial_service.h"

namespace vornel::perf {

// Vornel's receive path as the main window holds it, opened on a device named by its path:
// QtSerialService and CommLink, with a callback that runs after each receive notification has
// been handled, told whether it completed a frame. No port number leads to a device of this
// machine.
class LinkOnPath {
public:
    explicit LinkOnPath(std::function<void(bool framed)> afterComm)
        : afterComm_(std::move(afterComm)) {
        // As the main window does: the receive notification handled here, the rest by the link.
        comm_.onComm = [this] {
            link_.onComm();
            afterComm_(std::exchange(flashed_, false));
        };
        link_.onStatusChanged = [this] {
            if (!link_.status().open && link_.status().reason == LinkFault::DeviceGone &&
                onLinkLost) {
                onLinkLost();
            }
        };
    }

    // "set Hardware" with the dialog left at `path` and 115200 bit/s.
    void open(const std::string& path) {
        link_.close();
        link_.apply(CommChoice{0, 115200, path});
        if (!comm_.isPortOpen()) {
            throw std::runtime_error(describeLinkStatus(link_.status()));
        }
    }
    void close() { comm_.closePort(); }
    bool isOpen() const { return comm_.isPortOpen(); }

    const std::string& lastFrame() const { return lastFrame_; }
    const std::string& buffer() const { return link_.assembler().RxBuffer(); }

    std::function<void()> onLinkLost;

private:
    class NoPorts : public PortTable {
    public:
        std::vector<SerialDevice> devices() const override { return {}; }
    };

    std::function<void(bool)> afterComm_;
    NoPorts ports_;
    QtSerialService comm_{ports_};
    std::string lastFrame_;
    bool flashed_ = false;
    CommLink link_{comm_, lastFrame_, [this] { flashed_ = true; }};
};

}  // namespace vornel::perf
