#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

namespace vornel {

// Lets the user move a window without a title bar by dragging the widgets it is installed on.
// A click without a drag leaves the window where it is.
class WindowDragger : public QObject {
public:
    explicit WindowDragger(QWidget* window);

    // Dragging `widget` moves the window.
    void dragBy(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QPoint pressPosition_;
    QPoint grabOffset_;
    bool pressed_ = false;   // the left button went down on the window's body
    bool dragging_ = false;  // and we move the window ourselves
};

}  // namespace vornel
