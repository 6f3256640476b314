#include <QMainWindow>

#include "app/guarded_application.h"
#include "platform/failure_guard.h"

int main(int argc, char* argv[]) {
    vornel::GuardedApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Vornel"));
    window.show();
    if (vornel::failure_guard::ending()) {
        return EXIT_FAILURE;
    }
    return app.exec();
}
