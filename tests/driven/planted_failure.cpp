// A test program, never shipped: Vornel's application object, set up as Vornel sets it up, with
// a failure that escapes an event handler. The driven tests check that its message box shows,
// names the failure and is titled "Vornel", and that the program then ends with a failure status,
// on Linux and under Wine alike, so that the program itself carries no way to fail on purpose.
#include <QTimer>
#include <stdexcept>

#include "app/guarded_application.h"
#include "app/startup.h"

int main(int argc, char* argv[]) {
    vornel::GuardedApplication app(argc, argv);
    vornel::configureApplication(app);
    QTimer::singleShot(0, &app, [] { throw std::runtime_error("a failure planted by the test"); });
    return app.exec();
}
