#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capture/frame_assembler.h"
#include "capture/link_status.h"
#include "platform/serial_service.h"

namespace vornel {

// The port the user chose in the setup dialog: a device path when one was typed, otherwise a
// port number (0: none chosen).
struct CommChoice {
    std::uint8_t portNumber = 0;
    std::int32_t baudRate = 0;
    std::string portPath;
};

// The main window's serial logic: the receive handler that turns input into frames, and the
// "set Hardware" command that closes, reconfigures and reopens the port.
class CommLink {
public:
    // `lastFrame` receives each completed frame; `startFlash` lights the frame indicator.
    CommLink(SerialService& comm, std::string& lastFrame, std::function<void()> startFlash);

    // Runs for every receive notification.
    void onComm();

    // Closes the port, shows the setup dialog (which returns when it has been closed), then
    // applies the choice it left and opens the port. A failure after the dialog leaves the port
    // closed without a word; the reason is kept in status().
    void setupHardware(const std::function<void()>& showSetupDialog,
                       const std::function<CommChoice()>& currentChoice);

    // Called when the service closed the port because the device went away.
    void linkLost(const SerialFailure& failure);

    const LinkStatus& status() const { return status_; }
    const FrameAssembler& assembler() const { return assembler_; }

    // Raised whenever status() changes.
    std::function<void()> onStatusChanged;

private:
    void setStatus(LinkStatus status);

    SerialService& comm_;
    std::string& lastFrame_;
    std::function<void()> startFlash_;
    FrameAssembler assembler_;
    LinkStatus status_;
};

}  // namespace vornel
