// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "monitor/FrmMain.h"
#include "app/VarnoltApp.h"
#include "stats/StatsModule.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// The real program on a copy of the shipped database, with a fake clock: seeded with SQL,
// started, its first poll done; shut down with the object.
class RunningProgram
{
public:
    explicit RunningProgram(const QDateTime &now = FakeClock().now())
        : clock(now)
    {
    }
    ~RunningProgram()
    {
        if (app)
            app->shutdown();
    }
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    // table: the interfaces to meter, else the given number of fake cards eth0, eth1, ...
    void start(const QStringList &seed, std::unique_ptr<InterfaceTable> table = nullptr, int cards = 1)
    {
        for (const QString &sql : seed)
            db.exec(sql);
        if (!table) {
            auto fake = std::make_unique<FakeInterfaceTable>();
            fake->rows = FakeInterfaceTable::cards(cards);
            table = std::move(fake);
        }
        app = std::make_unique<VarnoltApp>(db.path(), QStringList {}, clock, std::move(table));
        app->setStatsMaker(&StatsModule::make);
        if (!app->start())
            qFatal("the program did not start");
        QTest::qWait(0);
    }

    void waitForPoll()
    {
        QSignalSpy polls(&app->monitor()->pollTimer(), &QTimer::timeout);
        QVERIFY(polls.wait(3000));
    }

    TestDatabase db;
    FakeClock clock;
    std::unique_ptr<VarnoltApp> app;
};
