// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/TrayIcon.h"

#include "desktop/AppIcon.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QGuiApplication>

namespace {

// Qt's rule on Linux (its Unix platform themes, used by xcb and Wayland): the icon goes over
// D-Bus when a StatusNotifierWatcher on the session bus says a host is registered; on X11 it
// is an XEmbed icon otherwise. The offscreen and minimal platforms have no D-Bus tray.
bool statusNotifierHostRegistered()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusInterface watcher(watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService, bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

} // namespace

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
    , m_statusNotifier(isStatusNotifierItem())
{
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // An XEmbed icon reports the first click of a double-click as a Trigger too: there
        // only the double-click counts.
        if (reason == QSystemTrayIcon::DoubleClick || (reason == QSystemTrayIcon::Trigger && m_statusNotifier))
            Q_EMIT doubleClicked();
        else if (reason == QSystemTrayIcon::Context)
            // After the icon's own mouse handling has returned: the menu may end the run,
            // which takes the icon away.
            QMetaObject::invokeMethod(this, &TrayIcon::rightClicked, Qt::QueuedConnection);
    });
}

bool TrayIcon::isStatusNotifierItem()
{
    // Qt asks once, for the run's first icon, and keeps its answer.
    static const bool statusNotifier = statusNotifierHostRegistered();
    return statusNotifier;
}

bool TrayIcon::add()
{
    m_icon.setIcon(AppIcon::icon());
    m_icon.setToolTip(initialTip());
    m_icon.show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setTip(const QString &text)
{
    m_tip = fitTip(text);
    showTip();
}

void TrayIcon::setStoreProblem(const StoreProblem &problem)
{
    if (problem == m_storeProblem)
        return;
    // Said when the problem begins, and again when the row is no longer safe in the journal:
    // the first message may have said that nothing is lost.
    const bool tell = !problem.isEmpty() && (m_storeProblem.isEmpty() || (m_storeProblem.journaled && !problem.journaled));
    m_storeProblem = problem;
    if (tell)
        m_icon.showMessage(QStringLiteral("Varnolt"), problem.message(), QSystemTrayIcon::Warning);
    showTip();
}

void TrayIcon::setSourceLine(const QString &text)
{
    m_sourceLine = text;
    showTip();
}

void TrayIcon::showTip()
{
    QString tip = m_sourceLine.isEmpty() ? m_tip : m_tip + QLatin1Char('\n') + m_sourceLine;
    if (!m_storeProblem.isEmpty())
        tip += QLatin1Char('\n') + m_storeProblem.line();
    if (tip != m_icon.toolTip())
        m_icon.setToolTip(tip);
}

void TrayIcon::remove()
{
    m_icon.hide();
}

QString TrayIcon::fitTip(const QString &text)
{
    return text.left(TipLength);
}

QString TrayIcon::initialTip()
{
    return QStringLiteral("Varnolt%1.%2 %3")
        .arg(VARNOLT_VERSION_MAJOR)
        .arg(VARNOLT_VERSION_MINOR)
        .arg(QStringLiteral(VARNOLT_VERSION_COMMENT));
}
