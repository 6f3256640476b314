#include "app/guarded_application.h"

#include "forms/kit/failure_guard.h"

namespace vornel {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        failure_guard::reportUncaught(failure.what());
    } catch (...) {
        failure_guard::reportUncaught("an unknown failure");
    }
    return false;
}

}  // namespace vornel
