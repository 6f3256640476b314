#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

namespace vornel {

// Lets the user move a window without a title bar by dragging the widgets it is installed on.
class WindowDragger : public QObject {
public:
    explicit WindowDragger(QWidget* window);

    // Dragging `widget` moves the window.
    void dragBy(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QPoint grabOffset_;
    bool dragging_ = false;
};

}  // namespace vornel
