#include "platform/window_dragger.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace vornel {

WindowDragger::WindowDragger(QWidget* window) : QObject(window), window_(window) {}

void WindowDragger::dragBy(QWidget* widget) {
    widget->installEventFilter(this);
}

bool WindowDragger::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() != Qt::LeftButton) {
                break;
            }
            // A window manager moves the window itself, with its own feel; without one, we do.
            QWindow* handle = window_->windowHandle();
            if (handle != nullptr && handle->startSystemMove()) {
                return true;
            }
            dragging_ = true;
            grabOffset_ = press->globalPosition().toPoint() - window_->frameGeometry().topLeft();
            return true;
        }
        case QEvent::MouseMove:
            if (dragging_) {
                auto* move = static_cast<QMouseEvent*>(event);
                window_->move(move->globalPosition().toPoint() - grabOffset_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (dragging_) {
                dragging_ = false;
                return true;
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vornel
