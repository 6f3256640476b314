#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/frame_assembler.h"
#include "capture/link_status.h"
#include "capture/serial_service.h"

namespace vornel {

// The port the user chose in the setup dialog: a device path when one was typed, otherwise a
// port number (0: none chosen).
struct CommChoice {
    std::uint8_t portNumber = 0;
    std::int32_t baudRate = 0;
    std::string portPath;
};

// The main window's serial logic: the receive handler that turns input into frames, and the
// two halves of the "set Hardware" command around the setup dialog: close the port, then apply
// the choice the dialog left and open the port again.
class CommLink {
public:
    // `lastFrame` receives each completed frame; `startFlash` lights the frame indicator.
    // Subscribes to the service's notifications: a receive notification runs onComm(), a device
    // that went away linkLost(), one that may be back deviceMayBeBack(). An owner that handles
    // the receive notification itself (the main window) puts its own handler in comm.onComm and
    // calls onComm() from it.
    CommLink(SerialService& comm, std::string& lastFrame, std::function<void()> startFlash);
    ~CommLink();
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;

    // Runs for every receive notification.
    void onComm();

    // Before the setup dialog: ends any waiting for a device and closes the port if it is open.
    void close();

    // After the setup dialog: applies `choice` to the service and opens the port. A failure
    // leaves the port closed without a word; the reason is kept in status().
    void apply(const CommChoice& choice);

    // Called when the service closed the port because the device went away. From then on the
    // link waits for the device to come back (see deviceMayBeBack), until the next close() or
    // the end of the program.
    void linkLost(const SerialFailure& failure);

    // Called while waiting, when the device the user chose may be back: it is named again as
    // the user named it (a link may now point to another device) and opened with the same
    // settings, without a word. A device that is still missing, or that another program holds,
    // is left alone and the waiting goes on.
    void deviceMayBeBack();

    const LinkStatus& status() const { return status_; }
    const FrameAssembler& assembler() const { return assembler_; }

    // Raised whenever status() changes.
    std::function<void()> onStatusChanged;

private:
    void setStatus(LinkStatus status);
    // Applies `choice` to the service and opens the port; the status that results.
    LinkStatus tryOpen(const CommChoice& choice);

    SerialService& comm_;
    std::string& lastFrame_;
    std::function<void()> startFlash_;
    FrameAssembler assembler_;
    LinkStatus status_;
    std::optional<CommChoice> choice_;  // the last choice applied, for a device that comes back
};

}  // namespace vornel
