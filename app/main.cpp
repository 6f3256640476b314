#include "app/guarded_application.h"
#include "app/startup.h"
#include "platform/failure_guard.h"

int main(int argc, char* argv[]) {
    vornel::GuardedApplication app(argc, argv);
    vornel::configureApplication(app);
    vornel::quitOnTerminationSignals();

    vornel::SystemPortTable ports;
    vornel::SystemDeviceProbe probe;
    const vornel::PlatformServices services{ports, probe};

    const std::unique_ptr<vornel::frmMain> window = vornel::startVornel(services);
    if (!window) {
        return EXIT_FAILURE;
    }
    return app.exec();
}
