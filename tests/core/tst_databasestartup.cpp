// SPDX-License-Identifier: GPL-3.0-or-later
#include "StartupRun.h"
#include "TestDatabase.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

class TestDatabaseStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void debugSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("on");
        QTest::newRow("the switch alone") << QStringList {u"/debug"_s} << true;
        QTest::newRow("no arguments") << QStringList {} << false;
        QTest::newRow("in capitals") << QStringList {u"/DEBUG"_s} << false;
        QTest::newRow("with another argument") << QStringList {u"/debug"_s, u"x"_s} << false;
        QTest::newRow("with a space") << QStringList {u"/debug "_s} << false;
    }

    void debugSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, on);
        QCOMPARE(DebugLog::switchGiven(arguments), on);

        TestDatabase db;
        const QString path = db.folder() + u"/varnolt.log"_s;
        FakeClock clock;
        DebugLog log(DebugLog::switchGiven(arguments), path, clock);
        log.write(u": Init Done"_s);
        QCOMPARE(QFile::exists(path), on);
    }

    void refusesWhatTheRunCouldNotWrite_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::newRow("no settings table") << u"drop table settings"_s << u"has no table settings."_s;
        QTest::newRow("no day view") << u"drop view DownloadPerDay"_s << u"DownloadPerDay"_s;
        QTest::newRow("a column gone") << u"alter table Log rename column BytesRcvd to Received"_s
                                       << u"has no column BytesRcvd."_s;
        QTest::newRow("a table that refuses rows")
            << u"create trigger NoRows before insert on Log begin select raise(abort, 'no rows'); end"_s
            << u"cannot be written to: no rows"_s;
        QTest::newRow("not a database") << u"text"_s << u"not a database"_s;
        QTest::newRow("no file") << u"missing"_s << u"does not exist"_s;
    }

    // Each fault gives a message that names it, and leaves the user's file as it was (a missing
    // file is not made).
    void refusesWhatTheRunCouldNotWrite()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        TestDatabase db;
        if (damage == u"missing")
            QVERIFY(QFile::remove(db.path()));
        else if (QFile text(db.path()); damage == u"text")
            QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate) && text.write(QByteArray(200, 'x')) == 200);
        else
            db.exec(damage);
        QFile file(db.path());
        const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();

        StartupRun run(db.path());
        QVERIFY(!run.startup.run());
        QVERIFY2(run.startup.errorString().contains(message), qPrintable(run.startup.errorString()));
        QCOMPARE(QFile::exists(db.path()), damage != u"missing");
        QVERIFY(!file.open(QIODevice::ReadOnly) || file.readAll() == before);
    }

    void waitsForALockAtStart_data()
    {
        QTest::addColumn<bool>("released");
        // Released once start-up has waited twice a session's usual wait: start-up goes on.
        QTest::newRow("released") << true;
        // Held until start-up gives up: it does so after its own wait, not a far longer one.
        QTest::newRow("held") << false;
    }

    // Start-up waits out a lock far longer than a session's usual wait, and gives up after it.
    void waitsForALockAtStart()
    {
        QFETCH(bool, released);
        TestDatabase db;
        StoreSession holder(db.path());
        QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));
        const int steps = StoreSession::lockWaitSteps() + 2 * StoreSession::BusyTimeoutMs / 10;
        std::atomic<bool> done = false;
        std::thread release([&] {
            while (!done && (!released || StoreSession::lockWaitSteps() < steps))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            holder.rollback();
        });
        QElapsedTimer timer;
        timer.start();
        StartupRun run(db.path());
        const bool started = run.startup.run();
        const qint64 waited = timer.elapsed();
        done = true;
        release.join();
        QVERIFY2(started == released, qPrintable(run.startup.errorString()));
        if (!released) {
            QVERIFY2(run.startup.errorString().contains(u"locked"_s), qPrintable(run.startup.errorString()));
            const qint64 wait = DatabaseStartup::LockWaitMsecs;
            QVERIFY2(waited >= wait && waited <= wait + 10000, qPrintable(u"%1 ms"_s.arg(waited)));
        }
    }

    void unwritableLogStopsNothing()
    {
        TestDatabase db;
        QVERIFY(StartupRun(db.path(), db.folder() + u"/no/such/folder/varnolt.log"_s).startup.run());
    }
};

QTEST_GUILESS_MAIN(TestDatabaseStartup)
#include "tst_databasestartup.moc"
