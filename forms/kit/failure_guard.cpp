#include "forms/kit/failure_guard.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdlib>

namespace vornel::failure_guard {

namespace {

bool g_ending = false;
// Starts empty: making it does nothing at start-up.
Reporter g_reporter;  // clazy:exclude=non-pod-global-static

void showMessageBox(const std::string& what) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vornel"),
                    QStringLiteral("Vornel has met a failure it cannot recover from and will "
                                   "close.\n\n%1")
                        .arg(QString::fromStdString(what)),
                    QMessageBox::Ok);
    box.exec();
}

}  // namespace

void reportUncaught(const std::string& what) {
    if (g_ending) {
        return;
    }
    g_ending = true;
    if (g_reporter) {
        g_reporter(what);
    } else {
        showMessageBox(what);
    }
    QCoreApplication::exit(EXIT_FAILURE);
}

bool ending() {
    return g_ending;
}

void setReporter(Reporter reporter) {
    g_reporter = std::move(reporter);
}

void reset() {
    g_ending = false;
    g_reporter = nullptr;
}

}  // namespace vornel::failure_guard
