#include <QtGlobal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/guarded_application.h"
#include "app/startup.h"
#include "forms/kit/failure_guard.h"

namespace {

QtMessageHandler g_qtHandler = nullptr;

// While the application object is made: a window system that Qt cannot start after all ends the
// program with status 1 once Qt has said why, not with an abort.
void endFailedStart(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    g_qtHandler(type, context, message);
    if (type == QtFatalMsg) {
        std::_Exit(EXIT_FAILURE);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the application object is made: they need no display.
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (vornel::readCommandLine(args)) {
        case vornel::CommandLineRequest::Help:
            return vornel::showCommandLineText(vornel::usageText());
        case vornel::CommandLineRequest::Version:
            return vornel::showCommandLineText(vornel::versionText());
        case vornel::CommandLineRequest::Start:
            break;
    }
    if (const std::optional<std::string> missing = vornel::missingDisplay(args)) {
        (void)std::fprintf(stderr, "%s\n", missing->c_str());  // nowhere else to say it
        return EXIT_FAILURE;
    }

    g_qtHandler = qInstallMessageHandler(endFailedStart);
    vornel::GuardedApplication app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
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
