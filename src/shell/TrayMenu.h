// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMenu>
#include <QObject>

// The tray icon's menu, in its fixed order. The bold default item always names what a
// double-click on the icon does.
class TrayMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayMenu)

public:
    explicit TrayMenu(QObject *parent = nullptr);

    QMenu &menu() { return m_menu; }

    // "Monitor &Off." while the monitor window is shown, "Monitor &On." while it is hidden.
    void setMonitorShown(bool shown);
    void setDefaultForChart(bool dblClickChart);

private:
    QMenu m_menu;
    QMenu m_help;

public:
    QAction *showLog = nullptr;
    QAction *showAll = nullptr;
    QAction *resetCounters = nullptr;
    QAction *options = nullptr;
    QAction *showHelp = nullptr;
    QAction *support = nullptr;
    QAction *faq = nullptr;
    QAction *about = nullptr;
    QAction *exit = nullptr;
};
