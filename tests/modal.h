#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace vornel::testing {

// Acts on the next modal window once it is shown: arm it before the click or call that opens
// the window, since that call returns only after the window has closed.
inline void onNextModal(std::function<void(QWidget*)> action, QWidget* notThis = nullptr) {
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action, notThis] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != notThis && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (clock->elapsed() > 10000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}

}  // namespace vornel::testing
