#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "capture/serial_service.h"

namespace vornel::testing {

// A serial service that keeps its input in memory, records what was done to it, and fails where
// a test tells it to.
class FakeSerialService : public SerialService {
public:
    // Failure to raise from the next call of each operation, when set.
    std::optional<SerialFailure> failSetCommPort, failSetPortDevice, failSetSettings,
        failSetInputLen, failOpen;

    std::vector<std::string> calls;
    int commPort = 1;
    std::string device = "/dev/fake1";
    std::string settings = "9600,N,8,1";
    int inputLen = 0;
    bool open = false;

    // Input waiting in the receive buffer, and input that arrives just after the next read.
    std::string waiting;
    std::string arrivesAfterRead;

    void setCommPort(int number) override {
        calls.push_back("setCommPort " + std::to_string(number));
        raise(failSetCommPort);
        if (number == 0) {
            throw SerialFailure(LinkFault::NoPortChosen, "port 0");
        }
        commPort = number;
        device = "/dev/fake" + std::to_string(number);
    }
    void setPortDevice(const std::string& path) override {
        calls.push_back("setPortDevice " + path);
        raise(failSetPortDevice);
        device = path;
    }
    std::string deviceName() const override { return device; }
    void setSettings(std::string_view text) override {
        calls.push_back("setSettings " + std::string(text));
        raise(failSetSettings);
        settings = text;
    }
    void setInputLen(int length) override {
        calls.push_back("setInputLen " + std::to_string(length));
        raise(failSetInputLen);
        inputLen = length;
    }
    bool isPortOpen() const override { return open; }
    void openPort() override {
        calls.push_back("openPort");
        raise(failOpen);
        open = true;
    }
    void closePort() override {
        calls.push_back("closePort");
        open = false;
        watching = false;
    }
    void watchForDevice() override { watching = true; }
    void stopWatching() override { watching = false; }
    bool watching = false;
    std::string_view input() override {
        taken = std::exchange(waiting, {});
        waiting = std::exchange(arrivesAfterRead, {});
        return taken;
    }
    std::string taken;

private:
    static void raise(const std::optional<SerialFailure>& failure) {
        if (failure) {
            throw *failure;
        }
    }
};

}  // namespace vornel::testing
