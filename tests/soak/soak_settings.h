#pragma once

#include <functional>
#include <string>

namespace vornel::soak {

struct Settings {
    double seconds = 60;    // length of the soak, without set-up
    std::string simulator;  // vornel-sim
    std::string memoryLog;  // when set, every memory sample is written there
    // Runs after every socket notifier event has been handled; set by the soak while it watches.
    std::function<void()> afterSocketEvent;
};

Settings& settings();

}  // namespace vornel::soak
