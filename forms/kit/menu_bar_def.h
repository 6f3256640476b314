#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <span>

#include "forms/kit/failure_guard.h"

namespace vornel {

// A command on a window's menu bar: a top-level item without sub-items. A null handler makes a
// command that does nothing.
template <typename Window>
struct MenuCommandDef {
    const char* name;
    const char* caption;
    void (Window::*handler)();
};

// Puts the commands on the window's menu bar, left to right, each handler inside the failure
// guard. The actions are named after the definitions.
template <typename Window>
void buildMenuBar(Window* window, std::span<const MenuCommandDef<Window>> commands) {
    QMenuBar* bar = window->menuBar();
    bar->setNativeMenuBar(false);
    for (const MenuCommandDef<Window>& command : commands) {
        QAction* action = bar->addAction(QString::fromLatin1(command.caption));
        action->setObjectName(QString::fromLatin1(command.name));
        if (command.handler != nullptr) {
            QObject::connect(
                action, &QAction::triggered, window,
                guarded([window, handler = command.handler] { (window->*handler)(); }));
        }
    }
}

}  // namespace vornel
