#include "forms/kit/window_dragger.h"

#include <QApplication>
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
            pressed_ = true;
            pressPosition_ = press->globalPosition().toPoint();
            grabOffset_ = pressPosition_ - window_->frameGeometry().topLeft();
            return true;
        }
        case QEvent::MouseMove: {
            if (!pressed_) {
                break;
            }
            auto* move = static_cast<QMouseEvent*>(event);
            const QPoint position = move->globalPosition().toPoint();
            if (!dragging_) {
                // A click alone moves nothing: the move starts once the pointer has travelled.
                if ((position - pressPosition_).manhattanLength() <
                    QApplication::startDragDistance()) {
                    return true;
                }
                // A window manager moves the window itself, with its own feel; without one, we
                // do.
                QWindow* handle = window_->windowHandle();
                if (handle != nullptr && handle->startSystemMove()) {
                    pressed_ = false;
                    return true;
                }
                dragging_ = true;
            }
            window_->move(position - grabOffset_);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (pressed_) {
                pressed_ = false;
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
