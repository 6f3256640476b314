#include "app/guarded_application.h"
#include "app/startup.h"
#include "forms/kit/failure_guard.h"

int main(int argc, char* argv[]) {
    vornel::GuardedApplication app(argc, argv);
    vornel::configureApplication(app);
    vornel::quitOnTerminationSignals();

    vornel::SystemPortTable ports;
    vornel::SystemDeviceProbe probe;
    const std::unique_ptr<vornel::Registry> registry = vornel::createSystemRegistry();
    vornel::SystemProgramLauncher launcher;
    const vornel::PlatformServices services{ports, probe, *registry, launcher};

    const std::unique_ptr<vornel::frmMain> window = vornel::startVornel(services);
    if (!window) {
        return vornel::failure_guard::ending() ? EXIT_FAILURE : EXIT_SUCCESS;
    }
    return app.exec();
}
