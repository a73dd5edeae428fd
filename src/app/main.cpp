// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DatabaseStartup.h"
#include "core/store/DatabaseLocation.h"
#include "desktop/MessageBox.h"
#include "shell/SignalWatcher.h"
#include "app/VarnoltApp.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The windows are small: on X11 their repaints go to the server as plain images. A shared
    // memory segment would save a copy but cost a round trip to the server before each
    // repaint of a region it still reads, two more wake-ups for every poll of a shown monitor.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnolt"));
    QApplication::setOrganizationName(QStringLiteral("Varnolt"));
    // The program lives in the tray; closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    DatabaseLocation location;
    const QString databasePath
        = location.resolve(QCoreApplication::applicationDirPath(), DatabaseLocation::userDataFolder());
    if (databasePath.isEmpty()) {
        MessageBox::critical(DatabaseStartup::failureTitle(), DatabaseStartup::failureText(location.errorString()));
        return 1;
    }

    SystemClock clock;
    VarnoltApp app(databasePath, QApplication::arguments().mid(1), clock);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app, &VarnoltApp::endOfSession);
    // The session manager asks before the desktop session ends: the last row is written first.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &app, &VarnoltApp::endOfSession);
    QObject::connect(&app, &VarnoltApp::finished, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    if (!app.start())
        return 1;
    const int status = QApplication::exec();
    return status != 0 ? status : app.exitStatus();
}
