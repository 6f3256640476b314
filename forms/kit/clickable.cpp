#include "forms/kit/clickable.h"

#include <QMouseEvent>

namespace vornel {

void ClickTracker::press(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

bool ClickTracker::release(QMouseEvent* event, const QRect& area) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && area.contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    return click;
}

}  // namespace vornel
