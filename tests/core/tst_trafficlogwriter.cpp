#include "AsOtherUser.h"
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/DebugLog.h"
#include "core/RunCounters.h"
#include "core/TrafficLogWriter.h"

#include <QLocale>
#include <QTest>

namespace {

QDateTime at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
}

const QString LogRows
    = QStringLiteral("select DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, AvgDownloadSpeed from Log "
                     "order by DateAndTimeStart, DateAndTimeEnd");

} // namespace

class TestTrafficLogWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void closesRowAtDayBoundary_data();
    void closesRowAtDayBoundary();
    void rowOfTodayIsNormalCase();
    void secondCallWritesEmptyRowThatNextCallRemoves();
    void negativeCountersCountAsZero();
    void commaDecimalLocaleStoresAverage();
    void refusedWriteKeepsTrafficForNextCall();
    void debugLinesOfOneCall();

private:
    RunCounters trafficSince(const QDateTime &rowStart)
    {
        RunCounters c;
        c.rowStart = rowStart;
        c.baseIn = 1000;
        c.curIn = 501000;
        c.baseOut = 200;
        c.curOut = 70200;
        c.prevIn = 400000;
        c.prevOut = 60000;
        c.avgDown = 12.5;
        c.downSamples = 7;
        c.maxDown = 40;
        c.maxUp = 3;
        return c;
    }
};

void TestTrafficLogWriter::closesRowAtDayBoundary_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::newRow("first minute of the day") << at(6, 0, 0, 30);
    QTest::newRow("second minute, after a suspend") << at(6, 0, 1, 0);
    QTest::newRow("morning, after a night of suspend") << at(6, 7, 0, 0);
}

void TestTrafficLogWriter::closesRowAtDayBoundary()
{
    QFETCH(QDateTime, now);
    TestDatabase db;
    FakeClock clock(now);
    DebugLog log(false, QString(), clock);
    RunCounters counters = trafficSince(at(5, 22, 15, 4));

    TrafficLogWriter writer(db.path(), counters, clock, log);
    QVERIFY(writer.write());

    // The row ends on the last second of its own day; the new day opens with a marker.
    QCOMPARE(db.rows(LogRows),
        QStringList({QStringLiteral("2026-12-05 22:15:04|2026-12-05 23:59:59|70000|500000|12.5"),
            QStringLiteral("2026-12-06 00:00:00|2026-12-06 00:00:00|0|0|0")}));
    QCOMPARE(counters.rowStart, at(6, 0, 0));
    QCOMPARE(counters.baseIn, 501000.0);
    QCOMPARE(counters.baseOut, 70200.0);
    QCOMPARE(counters.prevIn, 0.0);
    QCOMPARE(counters.prevOut, 0.0);
    QCOMPARE(counters.avgDown, 0.0);
    // The run's figures stay.
    QCOMPARE(counters.downSamples, 7.0);
    QCOMPARE(counters.maxDown, 40.0);
    QCOMPARE(counters.maxUp, 3.0);

    // The next call deletes the marker and writes the day's first row.
    counters.curIn += 1024;
    clock.set(now.addSecs(60));
    QVERIFY(writer.write());
    const QStringList rows = db.rows(LogRows);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(1),
        QStringLiteral("2026-12-06 00:00:00|%1|0|1024|0")
            .arg(now.addSecs(60).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
}

void TestTrafficLogWriter::rowOfTodayIsNormalCase()
{
    TestDatabase db;
    FakeClock clock(at(6, 0, 0, 30));
    DebugLog log(false, QString(), clock);
    RunCounters counters = trafficSince(at(6, 0, 0, 0));

    TrafficLogWriter writer(db.path(), counters, clock, log);
    QVERIFY(writer.write());
    QCOMPARE(
        db.rows(LogRows), QStringList {QStringLiteral("2026-12-06 00:00:00|2026-12-06 00:00:30|70000|500000|12.5")});
    QCOMPARE(counters.rowStart, at(6, 0, 0, 30));
}

void TestTrafficLogWriter::secondCallWritesEmptyRowThatNextCallRemoves()
{
    TestDatabase db;
    FakeClock clock(at(5, 17, 0));
    DebugLog log(false, QString(), clock);
    RunCounters counters = trafficSince(at(5, 16, 0));
    TrafficLogWriter writer(db.path(), counters, clock, log);

    QVERIFY(writer.write());
    clock.advanceSeconds(1);
    QVERIFY(writer.write());
    QCOMPARE(db.rows(LogRows),
        QStringList({QStringLiteral("2026-12-05 16:00:00|2026-12-05 17:00:00|70000|500000|12.5"),
            QStringLiteral("2026-12-05 17:00:00|2026-12-05 17:00:01|0|0|0")}));
    clock.advanceSeconds(1);
    counters.curOut += 10;
    QVERIFY(writer.write());
    QCOMPARE(db.rows(LogRows),
        QStringList({QStringLiteral("2026-12-05 16:00:00|2026-12-05 17:00:00|70000|500000|12.5"),
            QStringLiteral("2026-12-05 17:00:01|2026-12-05 17:00:02|10|0|0")}));
}

void TestTrafficLogWriter::negativeCountersCountAsZero()
{
    TestDatabase db;
    FakeClock clock(at(5, 17, 0));
    DebugLog log(false, QString(), clock);
    RunCounters counters;
    counters.rowStart = at(5, 16, 0);
    counters.curIn = -5;
    counters.baseIn = -10;
    counters.curOut = 300;
    counters.baseOut = -20;
    TrafficLogWriter writer(db.path(), counters, clock, log);

    QVERIFY(writer.write());
    QCOMPARE(db.rows(LogRows), QStringList {QStringLiteral("2026-12-05 16:00:00|2026-12-05 17:00:00|300|0|0")});
    QCOMPARE(counters.baseIn, 0.0);
    QCOMPARE(counters.baseOut, 300.0);
}

void TestTrafficLogWriter::commaDecimalLocaleStoresAverage()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TestDatabase db;
    FakeClock clock(at(5, 17, 0));
    DebugLog log(false, QString(), clock);
    RunCounters counters = trafficSince(at(5, 16, 0));
    counters.avgDown = 1234.56789;
    TrafficLogWriter writer(db.path(), counters, clock, log);

    QVERIFY(writer.write());
    // Written as '1234,5679' with the German decimal comma, stored as the number.
    QCOMPARE(db.rows(QStringLiteral("select DateAndTimeStart, AvgDownloadSpeed, typeof(AvgDownloadSpeed) from Log")),
        QStringList {QStringLiteral("2026-12-05 16:00:00|1234.5679|real")});
}

void TestTrafficLogWriter::refusedWriteKeepsTrafficForNextCall()
{
    TestDatabase db;
    FakeClock clock(at(6, 0, 0, 30));
    DebugLog log(false, QString(), clock);
    RunCounters counters = trafficSince(at(5, 22, 0));
    const RunCounters before = counters;
    TrafficLogWriter writer(db.path(), counters, clock, log);

    // A file the user may not write (root writes anything, hence the change of identity).
    QFile::setPermissions(db.folder(),
        QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther
            | QFileDevice::WriteOwner);
    QFile::setPermissions(db.path(), QFileDevice::ReadOwner | QFileDevice::ReadOther);
    {
        AsOtherUser nobody;
        QVERIFY(!writer.write());
        QVERIFY(!writer.errorString().isEmpty());
    }
    QCOMPARE(counters.rowStart, before.rowStart);
    QCOMPARE(counters.baseIn, before.baseIn);
    QCOMPARE(counters.prevIn, before.prevIn);
    QCOMPARE(counters.avgDown, before.avgDown);
    QVERIFY(db.rows(LogRows).isEmpty());

    // Writable again: the same traffic is written, closed at the day boundary as it should be.
    QFile::setPermissions(db.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    clock.set(at(6, 0, 0, 31));
    QVERIFY(writer.write());
    QCOMPARE(db.rows(LogRows),
        QStringList({QStringLiteral("2026-12-05 22:00:00|2026-12-05 23:59:59|70000|500000|12.5"),
            QStringLiteral("2026-12-06 00:00:00|2026-12-06 00:00:00|0|0|0")}));

    // A database locked by another program refuses the write the same way.
    StoreSession holder(db.path());
    QVERIFY(holder.open());
    QVERIFY(holder.executeNative(QStringLiteral("begin exclusive")));
    counters.curIn += 5;
    QVERIFY(!writer.write());
    QCOMPARE(counters.curIn - counters.baseIn, 5.0);
    holder.rollback();
    QVERIFY(writer.write());
    QCOMPARE(db.rows(LogRows).size(), 2);
}

void TestTrafficLogWriter::debugLinesOfOneCall()
{
    TestDatabase db;
    const QString logPath = db.folder() + QStringLiteral("/varnolt.log");
    FakeClock clock(at(5, 17, 29, 47));
    DebugLog log(true, logPath, clock);
    RunCounters counters = trafficSince(at(5, 16, 0));
    TrafficLogWriter writer(db.path(), counters, clock, log);
    QVERIFY(writer.write());
    clock.set(at(6, 0, 0, 10));
    QVERIFY(writer.write());

    QFile file(logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.endsWith(QStringLiteral("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    const QString stamp = DebugLog::stamp(at(5, 17, 29, 47));
    const QString midnightStamp = DebugLog::stamp(at(6, 0, 0, 10));
    QCOMPARE(lines,
        QStringList({
            stamp + QStringLiteral(": Step1"),
            stamp + QStringLiteral(": Step2b"),
            QStringLiteral("Step2b: 2026/12/05 16:00:00"),
            QStringLiteral("Step2b: 2026/12/05 17:29:47"),
            QStringLiteral("Step2b: 70000"),
            QStringLiteral("Step2b: 500000"),
            QStringLiteral("Step2b: 12.5"),
            stamp + QStringLiteral(": Step2"),
            stamp + QStringLiteral(": Done"),
            midnightStamp + QStringLiteral(": Step1"),
            midnightStamp + QStringLiteral(": Step2a"),
            QStringLiteral("Step2a: 2026/12/05 17:29:47"),
            QStringLiteral("Step2a: 2026/12/05 23:59:59"),
            QStringLiteral("Step2a: 0"),
            QStringLiteral("Step2a: 0"),
            QStringLiteral("Step2a: 0"),
            midnightStamp + QStringLiteral(": Step2"),
            midnightStamp + QStringLiteral(": Done"),
        }));
}

QTEST_GUILESS_MAIN(TestTrafficLogWriter)
#include "tst_trafficlogwriter.moc"
