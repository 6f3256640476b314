#include "capture/comm_link.h"

#include <utility>

#include "capture/line_settings.h"

namespace vornel {

CommLink::CommLink(SerialService& comm, std::string& lastFrame, std::function<void()> startFlash)
    : comm_(comm), lastFrame_(lastFrame), startFlash_(std::move(startFlash)) {
    comm_.onComm = [this] { onComm(); };
    comm_.onLinkLost = [this](const SerialFailure& failure) { linkLost(failure); };
    comm_.onDeviceMayBeBack = [this] { deviceMayBeBack(); };
}

CommLink::~CommLink() {
    comm_.onComm = nullptr;
    comm_.onLinkLost = nullptr;
    comm_.onDeviceMayBeBack = nullptr;
}

void CommLink::onComm() {
    // Everything waiting is taken in one read. Nothing is discarded afterwards: bytes that
    // arrive after the read belong to the next notification, and throwing them away would lose
    // data.
    assembler_.Append(comm_.input());
    TakenFrame frame = assembler_.TakeFrame();
    if (frame.completed) {
        startFlash_();
        lastFrame_ = std::move(frame.text);
    }
}

void CommLink::close() {
    if (status_.waiting) {
        comm_.stopWatching();
        LinkStatus stopped = status_;
        stopped.waiting = false;
        setStatus(std::move(stopped));
    }
    if (comm_.isPortOpen()) {
        comm_.closePort();
        LinkStatus closed = status_;
        closed.open = false;
        closed.reason = LinkFault::None;
        closed.detail.clear();
        setStatus(std::move(closed));
    }
}

void CommLink::apply(const CommChoice& choice) {
    choice_ = choice;
    setStatus(tryOpen(choice));
}

LinkStatus CommLink::tryOpen(const CommChoice& choice) {
    LinkStatus next;
    try {
        next.portNumber = choice.portPath.empty() ? choice.portNumber : 0;
        next.device = choice.portPath;
        if (choice.portPath.empty()) {
            comm_.setCommPort(choice.portNumber);
        } else {
            comm_.setPortDevice(choice.portPath);
        }
        next.device = comm_.deviceName();
        next.settings = settingsStringFor(choice.baudRate);
        comm_.setSettings(next.settings);
        comm_.setInputLen(0);
        comm_.openPort();
        next.open = true;
        next.reason = LinkFault::None;
    } catch (const SerialFailure& failure) {
        next.reason = failure.fault();
        next.detail = failure.what();
        next.ownerGroup = failure.ownerGroup();
    } catch (const std::exception& failure) {
        next.reason = LinkFault::OpenFailed;
        next.detail = failure.what();
    } catch (...) {
        next.reason = LinkFault::OpenFailed;
    }
    return next;
}

void CommLink::linkLost(const SerialFailure& failure) {
    LinkStatus lost = status_;
    lost.open = false;
    lost.reason = LinkFault::DeviceGone;
    lost.detail = failure.what();
    lost.waiting = choice_.has_value();
    if (lost.waiting) {
        comm_.watchForDevice();
    }
    setStatus(std::move(lost));
}

void CommLink::deviceMayBeBack() {
    if (!status_.waiting || !choice_ || comm_.isPortOpen()) {
        return;
    }
    LinkStatus next = tryOpen(*choice_);
    if (next.open) {
        comm_.stopWatching();
        setStatus(std::move(next));
        return;
    }
    // Still missing: nothing changes. Back but held, refused or failing: say so, and go on
    // waiting.
    if (next.reason != LinkFault::NoSuchPort && next.reason != status_.reason) {
        next.waiting = true;
        setStatus(std::move(next));
    }
}

void CommLink::setStatus(LinkStatus status) {
    status_ = std::move(status);
    if (onStatusChanged) {
        onStatusChanged();
    }
}

}  // namespace vornel
