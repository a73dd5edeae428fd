// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/MonitorView.h"

#include <QObject>
#include <QSystemTrayIcon>

// The program's icon in the desktop's tray, with the live status as its tooltip. Without a
// tray host the program runs on without it; the icon appears when a host starts later.
class TrayIcon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayIcon)

public:
    // The tip holds at most this many characters; a longer text is cut.
    static constexpr int TipLength = 63;

    explicit TrayIcon(QObject *parent = nullptr);

    // Puts the icon up; true when a tray host holds it now.
    bool add();
    void setTip(const QString &text);
    // Traffic cannot be logged: a tray message says why once (again should the journal fail
    // too, when a kill would lose the row), and a line of the tip says it until the problem
    // is gone (an empty problem).
    void setStoreProblem(const StoreProblem &problem);
    // What the figures count when it is not this machine's interfaces ("Router: …"), a line
    // of the tip under them; empty: none.
    void setSourceLine(const QString &text);
    void remove();

    static QString fitTip(const QString &text);
    static QString initialTip();
    QSystemTrayIcon &icon() { return m_icon; }

    // True when the icon is a StatusNotifierItem (KDE Plasma, GNOME with an AppIndicator
    // extension) rather than an XEmbed icon. Its host sends one "activate" for a click and never
    // a double-click, so there the activation stands for the double-click. Decided once a run,
    // when the first icon is made, as Qt decides it.
    static bool isStatusNotifierItem();

Q_SIGNALS:
    // A double-click on an XEmbed icon, an activation of a StatusNotifierItem.
    void doubleClicked();
    void rightClicked();

private:
    void showTip();

    // Before the icon: asked when Qt makes its choice.
    const bool m_statusNotifier;
    QSystemTrayIcon m_icon;
    QString m_tip;
    StoreProblem m_storeProblem;
    QString m_sourceLine;
};
