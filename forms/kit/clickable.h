#pragma once

#include <QFrame>
#include <QLabel>
#include <functional>
#include <utility>

class QMouseEvent;

namespace vornel {

// Tells a click apart: the left mouse button pressed over a widget and released over it.
class ClickTracker {
public:
    void press(QMouseEvent* event);
    // True when the release completes a click within `area`.
    bool release(QMouseEvent* event, const QRect& area);

private:
    bool pressed_ = false;
};

// A widget that reacts to a click, such as a label that serves as a button, or a frame that
// reports clicks on the parts of it that no control covers.
template <typename Widget>
class Clickable : public Widget {
public:
    using Widget::Widget;

    // Runs `handler` for every click.
    void onClick(std::function<void()> handler) { handler_ = std::move(handler); }

    // Does what a click does.
    void click() {
        if (handler_) {
            handler_();
        }
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { tracker_.press(event); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (tracker_.release(event, this->rect())) {
            click();
        }
    }

private:
    ClickTracker tracker_;
    std::function<void()> handler_;
};

using ClickableLabel = Clickable<QLabel>;
using ClickableFrame = Clickable<QFrame>;

// A label that serves as a button, such as "SET": clicked with the mouse, it takes no keyboard
// focus. Assistive tools see a button named by its caption, whose press action does what a click
// does.
class LabelButton : public ClickableLabel {
    Q_OBJECT

public:
    explicit LabelButton(QWidget* parent);
};

}  // namespace vornel
