// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

// Desktop notifications: through the notification server on the session bus
// (org.freedesktop.Notifications), or as the tray icon's message where there is none. The
// call does not wait for the server, so the poll is never held up by it.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    explicit DesktopNotifier(QObject *parent = nullptr);

    // The icon whose message shows a notice where no server takes it; none: such a notice is
    // only logged.
    void setTrayFallback(QSystemTrayIcon *tray) { m_tray = tray; }
    void notify(const QString &summary, const QString &body, bool urgent);

Q_SIGNALS:
    // The server took the notice (its id), or the tray showed it (0); for tests and the log.
    void delivered(uint id);

private:
    void showInTray(const QString &summary, const QString &body, bool urgent, const QString &why);

    QPointer<QSystemTrayIcon> m_tray;
};
