#pragma once

#include <functional>
#include <memory>

#include "forms/frmmain.h"

class QApplication;

namespace vornel {

// Gives the application its name, version and default font.
void configureApplication(QApplication& app);

// Starts the program as a user sees it: loads the main window, whose load shows the splash,
// then shows the main window. Returns nothing when the program ends during load: a failure, or
// a termination signal.
std::unique_ptr<frmMain> startVornel(const PlatformServices& services);
// The same with the main window built by `load`: a failure while it is built, loaded or first
// shown is reported like any other, and nothing is returned.
std::unique_ptr<frmMain> startMainWindow(const std::function<std::unique_ptr<frmMain>()>& load);

// Ends the event loop cleanly on every signal that would otherwise end the program and can be
// caught (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1 ...; not the faults of its own code),
// so that the port is released and windows close as on "Exit". Signals ignored when the program
// started stay ignored.
void quitOnTerminationSignals();
bool terminationRequested();

}  // namespace vornel
