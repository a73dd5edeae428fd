// SPDX-License-Identifier: GPL-3.0-or-later
#include "AsOtherUser.h"
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/DebugLog.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/TrafficLogWriter.h"

#include <QLocale>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

QDateTime at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
}

// 500000 bytes in and 70000 out since the row began, at an average of 12.5.
RunCounters trafficSince(const QDateTime &rowStart)
{
    return {.rowStart = rowStart,
        .latestTime = {},
        .baseIn = 1000,
        .baseOut = 200,
        .curIn = 501000,
        .curOut = 70200,
        .prevIn = 400000,
        .prevOut = 60000,
        .avgDown = 12.5,
        .downSamples = 7,
        .maxDown = 40,
        .maxUp = 3};
}

// A fresh database and a writer whose clock reads `now`, with a row open since `rowStart`.
struct Run
{
    Run(const QDateTime &now, const QDateTime &rowStart, const QString &debugLogName = QString())
        : clock(now)
        , log(!debugLogName.isEmpty(), db.folder() + u'/' + debugLogName, clock)
        , counters(trafficSince(rowStart))
        , writer(db.path(), counters, clock, log)
    {
    }
    QStringList rows() const
    {
        return db.rows(QStringLiteral("select DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, "
                                      "AvgDownloadSpeed from Log order by DateAndTimeStart, DateAndTimeEnd"));
    }

    TestDatabase db;
    FakeClock clock;
    DebugLog log;
    RunCounters counters;
    TrafficLogWriter writer;
};

} // namespace

class TestTrafficLogWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void closesRowAtDayBoundary_data()
    {
        QTest::addColumn<QDateTime>("rowStart");
        QTest::addColumn<QDateTime>("now");
        QTest::newRow("first minute of the day") << at(5, 22, 15, 4) << at(6, 0, 0, 30);
        QTest::newRow("morning, after a night of suspend") << at(5, 22, 15, 4) << at(6, 7, 0, 0);
        // The row ends on its own day, not on the day before the wake-up.
        QTest::newRow("after a suspend of four days") << at(1, 22, 15, 4) << at(5, 7, 0, 0);
    }

    void closesRowAtDayBoundary()
    {
        QFETCH(QDateTime, rowStart);
        QFETCH(QDateTime, now);
        Run run(now, rowStart);
        QVERIFY(run.writer.write());

        // The row ends on the last second of its own day; the new day opens with a marker.
        const QString day = u"yyyy-MM-dd"_s;
        QCOMPARE(run.rows(),
            QStringList({u"%1 22:15:04|%1 23:59:59|70000|500000|12.5"_s.arg(rowStart.toString(day)),
                u"%1 00:00:00|%1 00:00:00|0|0|0"_s.arg(now.toString(day))}));
        // The next row starts from the readings this one ended with, its average afresh.
        const RunCounters &c = run.counters;
        QCOMPARE(c.rowStart, QDateTime(now.date(), QTime(0, 0)));
        QCOMPARE(QList<double>({c.baseIn, c.baseOut, c.prevIn, c.prevOut, c.avgDown, c.downSamples}),
            QList<double>({501000, 70200, 400000, 60000, 0, 0}));
        // The run's figures stay.
        QCOMPARE(QList<double>({c.maxDown, c.maxUp}), QList<double>({40, 3}));

        // The next call deletes the marker and writes the day's first row.
        run.counters.curIn += 1024;
        run.clock.set(now.addSecs(60));
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows().value(1),
            u"%1 00:00:00|%2|0|1024|0"_s.arg(now.toString(day), now.addSecs(60).toString(u"yyyy-MM-dd HH:mm:ss"_s)));
        QCOMPARE(run.rows().size(), 2);
    }

    // A wall clock set back ends the row at its last good time and starts the next at the
    // new time: no row ends before it starts, and no byte is lost.
    void clockSetBackNeverEndsRowBeforeItStarts()
    {
        Run run(at(5, 16, 10), at(5, 16, 0));
        run.counters.latestTime = at(5, 17, 0);
        QVERIFY(run.writer.write());
        QCOMPARE(run.counters.rowStart, at(5, 16, 10));
        run.counters.curIn += 2048;
        run.clock.set(at(5, 16, 20));
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(),
            QStringList({u"2026-12-05 16:00:00|2026-12-05 17:00:00|70000|500000|12.5"_s,
                u"2026-12-05 16:10:00|2026-12-05 16:20:00|0|2048|0"_s}));
        // Set back before the row's own start, between two polls.
        run.clock.set(at(5, 15, 0));
        QVERIFY(run.writer.write());
        QCOMPARE(
            run.db.rows(u"select count(*) from Log where DateAndTimeEnd < DateAndTimeStart"_s), QStringList {u"0"_s});
    }

    // A change of time zone or of daylight saving ends the row in the UTC offset it began in,
    // and the next row, in the new offset, begins no earlier than the old one really ended.
    void offsetChangeKeepsRowsInRealTime_data()
    {
        QTest::addColumn<QDateTime>("rowStart");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QDateTime>("nextStart");
        const QTimeZone utc(0);
        const QTimeZone tokyo("Asia/Tokyo");
        const QTimeZone berlin("Europe/Berlin");
        const auto t = [](const QTimeZone &zone, int month, int day, int hour, int minute, int second) {
            return QDateTime(QDate(2026, month, day), QTime(hour, minute, second), zone);
        };
        const QString traffic = u"|70000|500000|12.5"_s;
        // The local date moves on, but in the row's own offset its day goes on: no midnight.
        QTest::newRow("UTC to Tokyo in the evening")
            << t(utc, 3, 14, 20, 0, 0) << t(tokyo, 3, 15, 5, 0, 30)
            << QStringList {u"2026-03-14 20:00:00|2026-03-14 20:00:30"_s + traffic} << t(tokyo, 3, 15, 5, 0, 30);
        // Tokyo's day began nine hours before the row's own day ended.
        QTest::newRow("UTC to Tokyo just after midnight")
            << t(utc, 3, 14, 23, 59, 50) << t(tokyo, 3, 15, 9, 0, 10)
            << QStringList {u"2026-03-14 23:59:50|2026-03-14 23:59:59"_s + traffic,
                   u"2026-03-15 09:00:00|2026-03-15 09:00:00|0|0|0"_s}
            << t(tokyo, 3, 15, 9, 0, 0);
        QTest::newRow("suspend over the end of summer time")
            << t(berlin, 10, 24, 22, 0, 0) << t(berlin, 10, 26, 7, 0, 0)
            << QStringList {u"2026-10-24 22:00:00|2026-10-24 23:59:59"_s + traffic,
                   u"2026-10-26 00:00:00|2026-10-26 00:00:00|0|0|0"_s}
            << t(berlin, 10, 26, 0, 0, 0);
    }

    void offsetChangeKeepsRowsInRealTime()
    {
        QFETCH(QDateTime, rowStart);
        QFETCH(QDateTime, now);
        QFETCH(QStringList, rows);
        QFETCH(QDateTime, nextStart);
        Run run(now, withOwnOffset(rowStart));
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(), rows);
        QCOMPARE(run.counters.rowStart, nextStart);
        QCOMPARE(run.counters.rowStart.offsetFromUtc(), nextStart.offsetFromUtc());
    }

    void secondCallWritesEmptyRowThatNextCallRemoves()
    {
        Run run(at(5, 17, 0), at(5, 16, 0));
        const QString first = u"2026-12-05 16:00:00|2026-12-05 17:00:00|70000|500000|12.5"_s;
        QVERIFY(run.writer.write());
        run.clock.advanceSeconds(1);
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(), QStringList({first, u"2026-12-05 17:00:00|2026-12-05 17:00:01|0|0|0"_s}));
        run.clock.advanceSeconds(1);
        run.counters.curOut += 10;
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(), QStringList({first, u"2026-12-05 17:00:01|2026-12-05 17:00:02|10|0|0"_s}));
    }

    void negativeCountersCountAsZero()
    {
        Run run(at(5, 17, 0), at(5, 16, 0));
        run.counters = RunCounters();
        run.counters.rowStart = at(5, 16, 0);
        run.counters.curIn = -5;
        run.counters.baseIn = -10;
        run.counters.curOut = 300;
        run.counters.baseOut = -20;
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(), QStringList {u"2026-12-05 16:00:00|2026-12-05 17:00:00|300|0|0"_s});
        QCOMPARE(run.counters.baseIn, 0.0);
        QCOMPARE(run.counters.baseOut, 300.0);
    }

    void commaDecimalLocaleStoresAverage()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Run run(at(5, 17, 0), at(5, 16, 0));
        run.counters.avgDown = 1234.56789;
        QVERIFY(run.writer.write());
        // Written as '1234,5679' with the German decimal comma, stored as the number.
        QCOMPARE(run.db.rows(u"select AvgDownloadSpeed, typeof(AvgDownloadSpeed) from Log"_s),
            QStringList {u"1234.5679|real"_s});
    }

    void refusedWriteKeepsTrafficForNextCall()
    {
        Run run(at(6, 0, 0, 30), at(5, 22, 0));
        const RunCounters before = run.counters;

        // A file the user may not write (root writes anything, hence the change of identity).
        QFile::setPermissions(run.db.folder(),
            QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther
                | QFileDevice::WriteOwner);
        QFile::setPermissions(run.db.path(), QFileDevice::ReadOwner | QFileDevice::ReadOther);
        {
            AsOtherUser nobody;
            QVERIFY(!run.writer.write());
            QVERIFY(!run.writer.errorString().isEmpty());
        }
        const RunCounters &c = run.counters;
        QCOMPARE(QList<double>({c.baseIn, c.prevIn, c.avgDown}),
            QList<double>({before.baseIn, before.prevIn, before.avgDown}));
        QCOMPARE(c.rowStart, before.rowStart);
        QVERIFY(run.rows().isEmpty());

        // Writable again: the same traffic is written, closed at the day boundary as it should be.
        QFile::setPermissions(run.db.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        run.clock.set(at(6, 0, 0, 31));
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(),
            QStringList({u"2026-12-05 22:00:00|2026-12-05 23:59:59|70000|500000|12.5"_s,
                u"2026-12-06 00:00:00|2026-12-06 00:00:00|0|0|0"_s}));

        // A database locked by another program refuses the write the same way.
        StoreSession holder(run.db.path());
        QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));
        run.counters.curIn += 5;
        QVERIFY(!run.writer.write());
        QCOMPARE(c.curIn - c.baseIn, 5.0);
        holder.rollback();
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows().size(), 2);
    }

    void debugLinesOfOneCall()
    {
        Run run(at(5, 17, 29, 47), at(5, 16, 0), u"varnolt.log"_s);
        QVERIFY(run.writer.write());
        run.clock.set(at(6, 0, 0, 10));
        QVERIFY(run.writer.write());

        QFile file(run.db.folder() + u"/varnolt.log"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.endsWith(u"\r\n"_s));
        // Stamped steps, then the row's start, end, bytes out, bytes in and average.
        const auto call = [](const QDateTime &now, const QString &step, const QStringList &details) {
            const QString stamp = DebugLog::stamp(now) + u": "_s;
            QStringList lines {stamp + u"Step1"_s, stamp + step};
            for (const QString &detail : details)
                lines << step + u": "_s + detail;
            return lines << stamp + u"Step2"_s << stamp + u"Done"_s;
        };
        QCOMPARE(text.split(u"\r\n"_s).mid(0, 18),
            call(at(5, 17, 29, 47), u"Step2b"_s,
                {u"2026/12/05 16:00:00"_s, u"2026/12/05 17:29:47"_s, u"70000"_s, u"500000"_s, u"12.5"_s})
                + call(at(6, 0, 0, 10), u"Step2a"_s,
                    {u"2026/12/05 17:29:47"_s, u"2026/12/05 23:59:59"_s, u"0"_s, u"0"_s, u"0"_s}));
        QCOMPARE(text.count(u"\r\n"_s), 18);
    }
};

QTEST_GUILESS_MAIN(TestTrafficLogWriter)
#include "tst_trafficlogwriter.moc"
