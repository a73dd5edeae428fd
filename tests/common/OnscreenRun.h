// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeInterfaceTable.h"
#include "TestDatabase.h"
#include "TrayHost.h"

#include "app/VarnoltApp.h"
#include "stats/StatsModule.h"
#include "shell/TrayIcon.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// The real program under the window manager, with its icon in a real tray (trayer) or with
// none, in a home folder of the test's own; a desktop test's class derives from it beside QObject.
class OnscreenRun
{
protected:
    // For initTestCase: the tray, HOME and the kept chart choices in the test's folder, and
    // numbers with English digit grouping, as the pictures show them.
    void startDesktop(bool withTray = true)
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        if (withTray)
            m_tray.start();
        qputenv("HOME", m_home.path().toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // Starts the program on m_db with these interfaces and waits for its icon in the tray, if any.
    void startApp(const Clock &clock, QList<FakeInterfaceTable::Row> interfaces, const QStringList &arguments = {})
    {
        auto table = std::make_unique<FakeInterfaceTable>();
        table->rows = std::move(interfaces);
        m_table = table.get();
        m_app = std::make_unique<VarnoltApp>(m_db->path(), arguments, clock, std::move(table));
        m_app->setStatsMaker(&StatsModule::make);
        QVERIFY(m_app->start());
        if (QSystemTrayIcon::isSystemTrayAvailable())
            TrayHost::waitForEmbedded(m_app->trayIcon()->icon());
    }

    void stopApp()
    {
        if (m_app)
            m_app->shutdown();
        m_app.reset();
        m_db.reset();
    }

    TrayHost m_tray;
    QTemporaryDir m_home;
    std::unique_ptr<TestDatabase> m_db;
    FakeInterfaceTable *m_table = nullptr;
    std::unique_ptr<VarnoltApp> m_app;
};
