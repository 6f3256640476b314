#pragma once

#include <QFrame>
#include <QLabel>

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

// A label that serves as a button.
class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override { tracker_.press(event); }
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ClickTracker tracker_;
};

// A frame that reports clicks on the parts of it that no control covers.
class ClickableFrame : public QFrame {
    Q_OBJECT

public:
    using QFrame::QFrame;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override { tracker_.press(event); }
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ClickTracker tracker_;
};

}  // namespace vornel
