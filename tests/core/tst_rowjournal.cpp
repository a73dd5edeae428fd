// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/DatabaseStartup.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/RowJournal.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString JournalRows = u"select DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, AvgDownloadSpeed "
                            u"from RowJournal"_s;
const QString LogRows = u"select DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, AvgDownloadSpeed from Log "
                        u"order by DateAndTimeStart"_s;

// A row open since 17:00 that has received `in` bytes (after 1000 before the run).
OpenRow openRow(quint64 in, quint64 out = 0)
{
    OpenRow row;
    row.add(1000, 0);
    row.polled(QDateTime(QDate(2026, 12, 5), QTime(17, 0)));
    row.add(in, out);
    row.addDownloadRate(12.5);
    return row;
}

} // namespace

// The journal of the open log row: written while traffic flows, cleared with every log row,
// turned into its log row by the next start after a run that did not end cleanly.
class TestRowJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Written while the open row holds traffic the journal does not, at most every 5 s: each
    // write is one page frame in the write-ahead log, and a poll that has nothing new to
    // write (no traffic, or a new row still empty) adds nothing to the file.
    void writesWhileTrafficFlowsAtMostEveryFiveSeconds()
    {
        TestDatabase db;
        db.exec(u"PRAGMA journal_mode=WAL"_s);
        const qint64 frameBytes = 24 + db.rows(u"PRAGMA page_size"_s).value(0).toLongLong();
        RowJournal journal(db.path());
        const QDateTime t0(QDate(2026, 12, 5), QTime(17, 0, 10));
        const struct
        {
            qint64 atMsecs;
            int rowSecond; // the row began at 17:00 plus this
            double base, in;
            const char *journaled;
        } polls[] = {
            {5000, 0, 0, 100, "2026-12-05 17:00:00|2026-12-05 17:00:15|0|100|12.5"},
            {9500, 0, 0, 300, "2026-12-05 17:00:00|2026-12-05 17:00:15|0|100|12.5"}, // too soon
            {10000, 0, 0, 400, "2026-12-05 17:00:00|2026-12-05 17:00:20|0|400|12.5"},
            {20000, 0, 0, 400, "2026-12-05 17:00:00|2026-12-05 17:00:20|0|400|12.5"}, // no traffic
            {20500, 0, 0, 401, "2026-12-05 17:00:00|2026-12-05 17:00:30|0|401|12.5"},
            {25000, 0, 0, 450, "2026-12-05 17:00:00|2026-12-05 17:00:30|0|401|12.5"}, // too soon
            // The row was logged at 450 (which cleared the journal); the next one is empty.
            {31000, 40, 450, 450, "2026-12-05 17:00:00|2026-12-05 17:00:30|0|401|12.5"},
            {36000, 40, 450, 500, "2026-12-05 17:00:40|2026-12-05 17:00:46|0|50|12.5"},
        };
        qint64 writes = 0;
        QString last;
        for (const auto &poll : polls) {
            RunCounters row;
            row.rowStart = withOwnOffset(QDateTime(QDate(2026, 12, 5), QTime(17, 0, poll.rowSecond)));
            row.baseIn = poll.base;
            row.curIn = poll.in;
            row.avgDown = 12.5;
            QVERIFY(journal.poll(row, t0.addMSecs(poll.atMsecs), poll.atMsecs));
            QCOMPARE(db.rows(JournalRows), QStringList {QLatin1String(poll.journaled)});
            writes += last != QLatin1String(poll.journaled);
            last = QLatin1String(poll.journaled);
            QCOMPARE((journal.walBytes() - 32) / frameBytes, writes);
        }
        journal.close();
        QCOMPARE(db.rows(JournalRows).size(), 1);
    }

    // A reader that holds a transaction (a backup, the sqlite3 shell) stops every checkpoint:
    // the write-ahead log grows, with a warning; once the reader is gone, the checkpoint that
    // could not run is retried, at the next write while the log is large or an interval later
    // when no traffic flows, and the log starts afresh at the size it is kept to.
    void writeAheadLogFoldedBackOnceTheReaderEnds_data()
    {
        QTest::addColumn<bool>("trafficStops");
        QTest::newRow("traffic goes on") << false;
        QTest::newRow("traffic stops") << true;
    }

    void writeAheadLogFoldedBackOnceTheReaderEnds()
    {
        QFETCH(bool, trafficStops);
        TestDatabase db;
        db.exec(u"PRAGMA journal_mode=WAL"_s);
        FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(18, 0)));
        const QString logPath = db.folder() + u"/varnolt.log"_s;
        DebugLog log(true, logPath, clock);
        RowJournal journal(db.path(), &log);
        const qint64 warning = 64 * 1024;
        journal.setWalWarningBytes(warning);
        StoreSession reader(db.path());
        QVERIFY(reader.open() && reader.executeNative(u"BEGIN"_s) && reader.queryNative(u"SELECT * FROM Log"_s));

        // Polls a second more than the checkpoint interval apart: every one writes and checkpoints.
        qint64 at = 0;
        quint64 in = 0;
        const auto pollAfter = [&](qint64 msecs, quint64 traffic) {
            at += msecs;
            in += traffic;
            return journal.poll(openRow(in).counters(), clock.now().addMSecs(at), at);
        };
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"write-ahead log has grown to \\d+ kB"_s));
        for (int i = 0; i < 100 && journal.walBytes() < warning; ++i)
            QVERIFY(pollAfter(RowJournal::CheckpointMsecs + 1000, 1000));
        QVERIFY(journal.walBytes() >= warning);
        reader.rollback();
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"write-ahead log is back to \\d+ kB"_s));

        if (trafficStops)
            QVERIFY(pollAfter(RowJournal::CheckpointMsecs + 1000, 0));
        else
            QVERIFY(pollAfter(5000, 1000));
        QVERIFY(pollAfter(5000, 1000));
        QVERIFY2(journal.walBytes() <= warning / 4, qPrintable(QString::number(journal.walBytes())));
        QFile file(logPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(file.readAll());
        QVERIFY2(lines.contains(u"grown to"_s) && lines.contains(u"back to"_s), qPrintable(lines));
        QCOMPARE(db.rows(JournalRows).size(), 1);
    }

    // The next start turns a journal left behind into its log row before the run's marker. The
    // journaled row ends as the log writer would end it: a row whose midnight close was refused
    // (a full disk) goes on past midnight, and ends on its own day.
    void startUpRecoversTheOpenRowOnce_data()
    {
        QTest::addColumn<quint64>("in");
        QTest::addColumn<quint64>("out");
        QTest::addColumn<QStringList>("logged");
        QTest::newRow("traffic") << 5000ULL << 7ULL
                                 << QStringList {u"2026-12-05 17:00:00|2026-12-05 23:59:59|7|5000|12.5"_s};
        QTest::newRow("nothing counted") << 0ULL << 0ULL << QStringList();
    }

    void startUpRecoversTheOpenRowOnce()
    {
        QFETCH(quint64, in);
        QFETCH(quint64, out);
        QFETCH(QStringList, logged);
        TestDatabase db;
        QVERIFY(
            RowJournal(db.path()).write(openRow(in, out).counters(), QDateTime(QDate(2026, 12, 6), QTime(0, 0, 30))));
        FakeClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
        DebugLog log(false, QString(), clock);
        for (int start = 0; start < 2; ++start) {
            Settings settings;
            DatabaseStartup startup(db.path(), clock, log, settings);
            QVERIFY2(startup.run(), qPrintable(startup.errorString()));
        }
        QCOMPARE(db.rows(JournalRows), QStringList());
        // The recovered row, then the two runs' start markers.
        QCOMPARE(db.rows(LogRows), logged + QStringList(2, u"2026-12-06 09:00:00|2026-12-06 09:00:00|0|0|0"_s));
        QCOMPARE(db.rows(u"PRAGMA journal_mode"_s), QStringList {u"wal"_s});
    }
};

QTEST_GUILESS_MAIN(TestRowJournal)
#include "tst_rowjournal.moc"
