#include "StartupRun.h"
#include "TestDatabase.h"

#include <QLocale>
#include <QTest>

#include <thread>

class TestDatabaseStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void debugSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("on");
        QTest::newRow("the switch alone") << QStringList {QStringLiteral("/debug")} << true;
        QTest::newRow("no arguments") << QStringList {} << false;
        QTest::newRow("in capitals") << QStringList {QStringLiteral("/DEBUG")} << false;
        QTest::newRow("with another argument") << QStringList {QStringLiteral("/debug"), QStringLiteral("x")} << false;
        QTest::newRow("with a space") << QStringList {QStringLiteral("/debug ")} << false;
    }

    void debugSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, on);
        QCOMPARE(DebugLog::switchGiven(arguments), on);

        TestDatabase db;
        const QString path = db.folder() + QStringLiteral("/varnolt.log");
        FakeClock clock;
        DebugLog log(DebugLog::switchGiven(arguments), path, clock);
        log.write(QStringLiteral(": Init Done"));
        QCOMPARE(QFile::exists(path), on);
    }

    void logsStartupStepsInOrder()
    {
        TestDatabase db;
        StartupRun run(
            db.path(), db.folder() + QStringLiteral("/varnolt.log"), QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)));
        QVERIFY2(run.startup.run(), qPrintable(run.startup.errorString()));

        QFile file(run.log.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString stamp = DebugLog::stamp(run.clock.now());
        QVERIFY(stamp.contains(QStringLiteral("9:05:07")));
        const QString text = QString::fromUtf8(file.readAll());
        const QString expected = QStringList(
            {stamp + QStringLiteral(": Upgrading database: Step1."),
                stamp + QStringLiteral(": Upgrading database: Step2."),
                stamp + QStringLiteral(": Upgrading database: %1"),
                stamp + QStringLiteral(": Upgrading database: Done"), stamp + QStringLiteral(": Reading Settings"),
                stamp + QStringLiteral(": Settings Read"), QString()})
                                     .join(QStringLiteral("\r\n"))
                                     .arg(db.rows(QStringLiteral("select substr(DateModified, 1, 4) from ViewCatalog "
                                                                 "where ViewName = 'DownloadPerDay'"))
                                              .value(0));
        QCOMPARE(text, expected);
    }

    void marksTheStartOfTheRun()
    {
        TestDatabase db;
        QVERIFY(StartupRun(db.path(), QString(), QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5))).startup.run());
        // 2030 stays 2030: dates go into the statement with their four-digit year.
        QCOMPARE(db.rows(QStringLiteral("select * from Log")),
            QStringList {QStringLiteral("2030-01-02 03:04:05|2030-01-02 03:04:05|0|0|0")});
    }

    void refusesWhatTheRunCouldNotWrite_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::newRow("no Log table") << QStringLiteral("drop table Log") << QStringLiteral("has no table Log.");
        QTest::newRow("no settings table")
            << QStringLiteral("drop table settings") << QStringLiteral("has no table settings.");
        QTest::newRow("a column gone") << QStringLiteral("alter table Log rename column BytesRcvd to Received")
                                       << QStringLiteral("has no column BytesRcvd.");
        QTest::newRow("a table that refuses rows")
            << QStringLiteral("create trigger NoRows before insert on Log begin select raise(abort, 'no rows'); end")
            << QStringLiteral("cannot be written to: no rows");
        QTest::newRow("empty file") << QStringLiteral("empty") << QStringLiteral("is empty, and no database.");
        QTest::newRow("no file") << QStringLiteral("missing") << QStringLiteral("does not exist");
    }

    // Each fault gives a message that names it, and leaves the user's file as it was (a missing
    // file is not made).
    void refusesWhatTheRunCouldNotWrite()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        TestDatabase db;
        if (damage == u"empty")
            QVERIFY(QFile::resize(db.path(), 0));
        else if (damage == u"missing")
            QVERIFY(QFile::remove(db.path()));
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

    void waitsForALockAtStart()
    {
        for (const int heldMsecs : {1000, DatabaseStartup::LockWaitMsecs + 1500}) {
            TestDatabase db;
            StoreSession holder(db.path());
            QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
            std::thread release([&holder, heldMsecs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(heldMsecs));
                holder.rollback();
            });
            StartupRun run(db.path());
            const bool started = run.startup.run();
            release.join();
            QCOMPARE(started, heldMsecs < DatabaseStartup::LockWaitMsecs);
            if (!started)
                QVERIFY2(run.startup.errorString().contains(QStringLiteral("locked")),
                    qPrintable(run.startup.errorString()));
        }
    }

    void unwritableLogStopsNothing()
    {
        TestDatabase db;
        QVERIFY(StartupRun(db.path(), db.folder() + QStringLiteral("/no/such/folder/varnolt.log")).startup.run());
    }
};

QTEST_GUILESS_MAIN(TestDatabaseStartup)
#include "tst_databasestartup.moc"
