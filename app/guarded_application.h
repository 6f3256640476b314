#pragma once

#include <QApplication>

namespace vornel {

// The application object. Every event is delivered inside the failure guard, so that a failure
// escaping any handler (not only those wrapped with guarded()) is reported the same way.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace vornel
