#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/DatabaseStartup.h"
#include "core/DebugLog.h"
#include "core/Settings.h"

#include <QLocale>
#include <QTest>

#include <thread>

class TestDatabaseStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void debugSwitch_data();
    void debugSwitch();
    void logsStartupStepsInOrder();
    void marksTheStartOfTheRun();
    void missingFileFails();
    void refusesWhatTheRunCouldNotWrite_data();
    void refusesWhatTheRunCouldNotWrite();
    void waitsForALockAtStart();
    void unwritableLogStopsNothing();
};

void TestDatabaseStartup::debugSwitch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("on");
    QTest::newRow("the switch alone") << QStringList {QStringLiteral("/debug")} << true;
    QTest::newRow("no arguments") << QStringList {} << false;
    QTest::newRow("in capitals") << QStringList {QStringLiteral("/DEBUG")} << false;
    QTest::newRow("with another argument") << QStringList {QStringLiteral("/debug"), QStringLiteral("x")} << false;
    QTest::newRow("with a space") << QStringList {QStringLiteral("/debug ")} << false;
}

void TestDatabaseStartup::debugSwitch()
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

void TestDatabaseStartup::logsStartupStepsInOrder()
{
    TestDatabase db;
    const QString path = db.folder() + QStringLiteral("/varnolt.log");
    FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)));
    DebugLog log(true, path, clock);
    Settings settings;
    DatabaseStartup startup(db.path(), clock, log, settings);
    QVERIFY2(startup.run(), qPrintable(startup.errorString()));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString stamp = DebugLog::stamp(clock.now());
    QVERIFY(stamp.contains(QStringLiteral("9:05:07")));
    const QString text = QString::fromUtf8(file.readAll());
    const QString expected = QStringList(
        {stamp + QStringLiteral(": Upgrading database: Step1."), stamp + QStringLiteral(": Upgrading database: Step2."),
            stamp + QStringLiteral(": Upgrading database: %1"), stamp + QStringLiteral(": Upgrading database: Done"),
            stamp + QStringLiteral(": Reading Settings"), stamp + QStringLiteral(": Settings Read"), QString()})
                                 .join(QStringLiteral("\r\n"))
                                 .arg(db.rows(QStringLiteral("select substr(DateModified, 1, 4) from ViewCatalog "
                                                             "where ViewName = 'DownloadPerDay'"))
                                          .value(0));
    QCOMPARE(text, expected);
}

void TestDatabaseStartup::marksTheStartOfTheRun()
{
    TestDatabase db;
    FakeClock clock(QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)));
    DebugLog log(false, QString(), clock);
    Settings settings;
    DatabaseStartup startup(db.path(), clock, log, settings);
    QVERIFY(startup.run());
    // 2030 stays 2030: dates go into the statement with their four-digit year.
    QCOMPARE(db.rows(QStringLiteral("select * from Log")),
        QStringList {QStringLiteral("2030-01-02 03:04:05|2030-01-02 03:04:05|0|0|0")});
}

void TestDatabaseStartup::missingFileFails()
{
    TestDatabase db;
    FakeClock clock;
    DebugLog log(false, QString(), clock);
    Settings settings;
    DatabaseStartup startup(db.folder() + QStringLiteral("/missing.db"), clock, log, settings);
    QVERIFY(!startup.run());
    QVERIFY(!startup.errorString().isEmpty());
    QVERIFY(!QFile::exists(db.folder() + QStringLiteral("/missing.db")));
}

void TestDatabaseStartup::refusesWhatTheRunCouldNotWrite_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("no Log table") << QStringLiteral("drop table Log") << QStringLiteral("has no table Log.");
    QTest::newRow("no settings table") << QStringLiteral("drop table settings")
                                       << QStringLiteral("has no table settings.");
    QTest::newRow("a column gone") << QStringLiteral("alter table Log rename column BytesRcvd to Received")
                                   << QStringLiteral("has no column BytesRcvd.");
    QTest::newRow("a table that refuses rows")
        << QStringLiteral("create trigger NoRows before insert on Log begin select raise(abort, 'no rows'); end")
        << QStringLiteral("cannot be written to: no rows");
    QTest::newRow("empty file") << QString() << QStringLiteral("is empty, and no database.");
}

// Each fault gives a message that names it, and leaves the user's file as it was.
void TestDatabaseStartup::refusesWhatTheRunCouldNotWrite()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    TestDatabase db;
    if (damage.isEmpty())
        QVERIFY(QFile::resize(db.path(), 0));
    else
        db.exec(damage);
    QFile file(db.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    FakeClock clock;
    DebugLog log(false, QString(), clock);
    Settings settings;
    DatabaseStartup startup(db.path(), clock, log, settings);
    QVERIFY(!startup.run());
    QVERIFY2(startup.errorString().contains(message), qPrintable(startup.errorString()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == before);
}

void TestDatabaseStartup::waitsForALockAtStart()
{
    for (const int heldMsecs : {1000, DatabaseStartup::LockWaitMsecs + 1500}) {
        TestDatabase db;
        StoreSession holder(db.path());
        QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
        std::thread release([&holder, heldMsecs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(heldMsecs));
            holder.rollback();
        });
        FakeClock clock;
        DebugLog log(false, QString(), clock);
        Settings settings;
        DatabaseStartup startup(db.path(), clock, log, settings);
        const bool started = startup.run();
        release.join();
        QCOMPARE(started, heldMsecs < DatabaseStartup::LockWaitMsecs);
        if (!started)
            QVERIFY2(startup.errorString().contains(QStringLiteral("locked")), qPrintable(startup.errorString()));
    }
}

void TestDatabaseStartup::unwritableLogStopsNothing()
{
    TestDatabase db;
    FakeClock clock;
    DebugLog log(true, db.folder() + QStringLiteral("/no/such/folder/varnolt.log"), clock);
    Settings settings;
    DatabaseStartup startup(db.path(), clock, log, settings);
    QVERIFY(startup.run());
}

QTEST_GUILESS_MAIN(TestDatabaseStartup)
#include "tst_databasestartup.moc"
