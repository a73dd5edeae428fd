// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QSystemTrayIcon>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotifier, "varnolt.notify.desktop")

using namespace Qt::StringLiterals;

namespace {
// Long enough for a server that D-Bus starts on demand, short enough that a hung one does not
// keep the notice from the tray for long.
constexpr int ServerTimeoutMsecs = 5000;
// How long the tray's message stays, in ms.
constexpr int TrayMessageMsecs = 10000;
} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
{
}

void DesktopNotifier::notify(const QString &summary, const QString &body, bool urgent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        showInTray(summary, body, urgent, u"no session bus"_s);
        return;
    }
    // The server need not run yet: the bus starts one that it can activate, and answers an
    // error at once where there is none.
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
        u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s, u"Notify"_s);
    const QVariantMap hints {
        {u"urgency"_s, QVariant::fromValue(uchar(urgent ? 2 : 1))}, {u"desktop-entry"_s, u"varnolt"_s}};
    call << u"Varnolt"_s << uint(0) << u"varnolt"_s << summary << body << QStringList() << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, ServerTimeoutMsecs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, summary, body, urgent] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            showInTray(summary, body, urgent, reply.error().message());
            return;
        }
        Q_EMIT delivered(reply.value());
    });
}

void DesktopNotifier::showInTray(const QString &summary, const QString &body, bool urgent, const QString &why)
{
    if (!m_tray || !m_tray->isVisible() || !QSystemTrayIcon::supportsMessages()) {
        qCWarning(lcNotifier).noquote() << "notice not shown (no notification server:" << why
                                        << "and no tray):" << summary;
        return;
    }
    m_tray->showMessage(
        summary, body, urgent ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information, TrayMessageMsecs);
    Q_EMIT delivered(0);
}
