#pragma once

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

// Ends the event loop cleanly on SIGINT, SIGTERM and SIGHUP, so that the port is released and
// windows close as on "Exit".
void quitOnTerminationSignals();
bool terminationRequested();

}  // namespace vornel
