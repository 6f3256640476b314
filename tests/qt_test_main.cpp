#include <gtest/gtest.h>

#include "app/guarded_application.h"
#include "app/startup.h"

// Runs the tests inside an application object, headless unless a display is asked for.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    vornel::GuardedApplication app(argc, argv);
    vornel::configureApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
