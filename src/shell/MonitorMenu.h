// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMenu>

// The monitor window's own menu, in place of the title-bar menu that the window manager
// owns on Linux: "Move", "Hide", "Mini/Maxi Monitor.", "Exit", with their command numbers.
class MonitorMenu final : public QMenu
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonitorMenu)

public:
    enum Command { Hide = 1000, Exit = 1001, MiniMaxi = 1002, Move = 0xF010 };

    explicit MonitorMenu(QWidget *parent = nullptr);

Q_SIGNALS:
    void commandChosen(int command);
};
