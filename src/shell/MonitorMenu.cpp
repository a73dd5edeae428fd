// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MonitorMenu.h"

MonitorMenu::MonitorMenu(QWidget *parent)
    : QMenu(parent)
{
    const auto item = [this](const QString &text, Command command) {
        addAction(text, this, [this, command] { Q_EMIT commandChosen(command); });
    };
    item(QStringLiteral("Move"), Move);
    item(QStringLiteral("Hide"), Hide);
    item(QStringLiteral("Mini/Maxi Monitor."), MiniMaxi);
    addSeparator();
    item(QStringLiteral("Exit"), Exit);
}
