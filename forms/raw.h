#pragma once

#include <QMainWindow>

class QAction;
class QTimer;

namespace vornel {

class ListView;

// "RAW data string": shows the latest frame, cut into rows of 60 characters, at most 20, and
// brings the rows up to date with LastFrame once a second. "Pause" stops and restarts the
// refresh, "EXIT" closes the window. The window only reads LastFrame; it changes nothing outside
// itself. Closing it, however it is closed, destroys it: the next opening starts afresh.
class raw : public QMainWindow {
    Q_OBJECT

public:
    // Loads the window as a top-level window owned by `owner` (it stays above its owner and
    // closes with it), without showing it.
    explicit raw(QWidget* owner);

    // Runs once while the window loads: starts the refresh and prepares the empty list.
    void Form_Load();
    // Every tick of Timer1: the rows show LastFrame; only rows whose text differs change.
    void Timer1_Timer();

    // Menu commands.
    void pause_Click();
    void exit_Click();

    // Ctrl+C, or Copy in the list's context menu: the selected rows, or every row when none is
    // selected, as the frame's own text (without the CR LF that ends each row), in row order.
    void copyRows();

private:
    void buildMenu();

    ListView* ListView1_ = nullptr;
    QTimer* Timer1_ = nullptr;
    QAction* pause_ = nullptr;
};

}  // namespace vornel
