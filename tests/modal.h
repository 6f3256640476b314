#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace vornel::testing {

// Acts on the next modal window once it is shown: arm it before the click or call that opens
// the window, since that call returns only after the window has closed. Watching stops when the
// returned timer goes, so that nothing outlives the test that armed it.
[[nodiscard]] inline std::unique_ptr<QTimer> onNextModal(std::function<void(QWidget*)> action,
                                                         QWidget* notThis = nullptr) {
    auto timer = std::make_unique<QTimer>();
    QTimer* watch = timer.get();
    QObject::connect(watch, &QTimer::timeout, watch, [watch, action, notThis] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != notThis && modal->isVisible()) {
            watch->stop();
            action(modal);
        }
    });
    watch->start(5);
    return timer;
}

}  // namespace vornel::testing
