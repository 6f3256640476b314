// The soak tests' main: an application object that lets the soak watch the main window after
// every receive notification, and the run's length.
//
//   soak_tests [gtest options] [--seconds S] [--sim PATH] [--memory-log FILE]
//
// S defaults to VORNEL_SOAK_SECONDS, or 60. FILE receives every memory sample: seconds, resident
// set and heap in use, in bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/guarded_application.h"
#include "app/startup.h"
#include "soak_settings.h"

namespace vornel::soak {

Settings& settings() {
    static Settings s;
    return s;
}

namespace {

// Qt reads a serial port when the port's socket notifier reports it readable: one such event,
// one read, one receive notification. Running the watcher after each of these events, once the
// event has been handled, shows the receive path's state after every notification.
class WatchingApplication : public GuardedApplication {
public:
    using GuardedApplication::GuardedApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        const bool socketEvent = event->type() == QEvent::SockAct;
        const bool handled = GuardedApplication::notify(receiver, event);
        if (socketEvent && settings().afterSocketEvent) {
            settings().afterSocketEvent();
        }
        return handled;
    }
};

}  // namespace
}  // namespace vornel::soak

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    vornel::soak::WatchingApplication app(argc, argv);
    vornel::configureApplication(app);
    ::testing::InitGoogleTest(&argc, argv);

    vornel::soak::Settings& s = vornel::soak::settings();
    if (const char* fromEnvironment = std::getenv("VORNEL_SOAK_SECONDS")) {
        s.seconds = std::atof(fromEnvironment);
    }
#ifdef VORNEL_SIM_PROGRAM
    s.simulator = VORNEL_SIM_PROGRAM;
#endif
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            s.seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--sim") == 0 && i + 1 < argc) {
            s.simulator = argv[++i];
        } else if (std::strcmp(argv[i], "--memory-log") == 0 && i + 1 < argc) {
            s.memoryLog = argv[++i];
        }
    }
    if (!(s.seconds >= 3)) {
        std::fprintf(stderr, "the soak needs at least 3 seconds\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
