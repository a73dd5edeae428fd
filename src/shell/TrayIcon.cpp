#include "shell/TrayIcon.h"

#include "shell/AppIcon.h"

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
{
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT doubleClicked();
        else if (reason == QSystemTrayIcon::Context)
            // After the icon's own mouse handling has returned: the menu may end the run,
            // which takes the icon away.
            QMetaObject::invokeMethod(this, &TrayIcon::rightClicked, Qt::QueuedConnection);
    });
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
    const QString tip = fitTip(text);
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
