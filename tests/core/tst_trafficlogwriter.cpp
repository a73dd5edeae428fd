// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/DebugLog.h"
#include "core/traffic/OpenRow.h"
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

// A fresh database and a writer whose clock reads `now`, with a row open since `rowStart`
// that received 500000 bytes and sent 70000 at an average of 12.5 (the run had counted 1000
// and 200 before it).
struct Run
{
    Run(const QDateTime &now, const QDateTime &rowStart, const QString &debugLogName = QString())
        : clock(now)
        , log(!debugLogName.isEmpty(), db.folder() + u'/' + debugLogName, clock)
        , writer(db.path(), row, clock, log)
    {
        row.add(1000, 200);
        row.polled(rowStart);
        row.add(500000, 70000);
        row.addDownloadRate(12.5);
    }
    QStringList rows() const
    {
        return db.rows(QStringLiteral("select DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, "
                                      "AvgDownloadSpeed from Log order by DateAndTimeStart, DateAndTimeEnd"));
    }

    TestDatabase db;
    FakeClock clock;
    DebugLog log;
    OpenRow row;
    TrafficLogWriter writer;
};

} // namespace

class TestTrafficLogWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Under a locale that writes a decimal comma.
    void closesRowAtDayBoundary()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QDateTime now = at(6, 0, 0, 0);
        Run run(now, at(5, 22, 15, 4));
        run.row.addDownloadRate(2456.6358); // (12.5 + 2456.6358) / 2
        QVERIFY(run.row.polled(now));
        QVERIFY(run.writer.write());

        // The row ends on the last second of its own day; the new day opens with a marker.
        QCOMPARE(run.rows(),
            QStringList({u"2026-12-05 22:15:04|2026-12-05 23:59:59|70000|500000|1234.5679"_s,
                u"2026-12-06 00:00:00|2026-12-06 00:00:00|0|0|0"_s}));
        QCOMPARE(run.db.rows(u"select typeof(AvgDownloadSpeed) from Log limit 1"_s), QStringList {u"real"_s});
        // The next row starts at the new day; the run's maximum stays.
        QCOMPARE(run.row.counters().rowStart, QDateTime(now.date(), QTime(0, 0)));
        QCOMPARE(run.row.counters().maxDown, 2456.6358);

        // The next call deletes the marker and writes the day's first row: from the readings
        // the last one ended with, its average afresh.
        run.row.add(1024, 0);
        run.clock.set(now.addSecs(60));
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(),
            QStringList({u"2026-12-05 22:15:04|2026-12-05 23:59:59|70000|500000|1234.5679"_s,
                u"2026-12-06 00:00:00|2026-12-06 00:01:00|0|1024|0"_s}));
    }

    // A wall clock set back ends the row at its last good time and starts the next at the
    // new time; set back before that start, between two polls, no row ends before it starts and
    // no byte is lost.
    void clockSetBackNeverEndsRowBeforeItStarts()
    {
        Run run(at(5, 16, 10), at(5, 16, 0));
        run.row.polled(at(5, 17, 0));
        QVERIFY(run.row.polled(run.clock.now()));
        QVERIFY(run.writer.write());
        QCOMPARE(run.rows(), QStringList {u"2026-12-05 16:00:00|2026-12-05 17:00:00|70000|500000|12.5"_s});
        QCOMPARE(run.row.counters().rowStart, at(5, 16, 10));
        run.row.add(2048, 0);
        run.clock.set(at(5, 15, 0));
        QVERIFY(run.writer.write());
        QCOMPARE(run.db.rows(u"select sum(DateAndTimeEnd < DateAndTimeStart), sum(BytesRcvd) from Log"_s),
            QStringList {u"0|502048"_s});
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
        QCOMPARE(run.row.counters().rowStart, nextStart);
        QCOMPARE(run.row.counters().rowStart.offsetFromUtc(), nextStart.offsetFromUtc());
    }

    // The diagnostic log's lines of a call: stamped steps, then the row's start, end, bytes
    // out, bytes in and average.
    void debugLinesOfOneCall()
    {
        Run run(at(6, 0, 0, 10), at(5, 16, 0), u"varnolt.log"_s);
        QVERIFY(run.writer.write());
        QFile file(run.db.folder() + u"/varnolt.log"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString stamp = DebugLog::stamp(at(6, 0, 0, 10)) + u": "_s;
        QCOMPARE(QString::fromUtf8(file.readAll()).split(u"\r\n"_s),
            QStringList({stamp + u"Step1"_s, stamp + u"Step2a"_s, u"Step2a: 2026/12/05 16:00:00"_s,
                u"Step2a: 2026/12/05 23:59:59"_s, u"Step2a: 70000"_s, u"Step2a: 500000"_s, u"Step2a: 12.5"_s,
                stamp + u"Step2"_s, stamp + u"Done"_s, QString()}));
    }
};

QTEST_GUILESS_MAIN(TestTrafficLogWriter)
#include "tst_trafficlogwriter.moc"
