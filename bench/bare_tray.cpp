// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick of the start-up benchmark: a bare Qt Widgets program with only a tray
// icon, built like Varnolt. It logs when its icon is shown and then idles.

#include <QApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcStartup, "varnolt.startup", QtWarningMsg)
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(22, 22);
    picture.fill(Qt::darkGreen);
    QSystemTrayIcon icon {QIcon(picture)};
    icon.setToolTip(QStringLiteral("bare"));
    icon.show();
    QTimer::singleShot(0, &application,
        [] { qCInfo(lcStartup) << "tray icon" << (QSystemTrayIcon::isSystemTrayAvailable() ? "shown" : "absent"); });
    return QApplication::exec();
}
