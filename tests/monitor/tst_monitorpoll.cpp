// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/RowJournal.h"
#include "core/traffic/SampleAdapters.h"
#include "core/traffic/TrafficLogWriter.h"
#include "core/traffic/VolumeLeftText.h"
#include "core/traffic/WarningSound.h"
#include "monitor/MonitorPoll.h"
#include "monitor/MonitorTexts.h"
#include "monitor/MonitorView.h"
#include "router/RouterSource.h"

#include <QLocale>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Keeps what the poll showed, and the order of the timer switches and the log rows.
class RecordingView final : public MonitorView
{
public:
    int height = 1560, graphMax = 0;
    bool shown = true;
    QString download, upload, caption, rateLine, toolTip, volumeLeft, trayTip;
    StoreProblem storeProblem;
    SourceLine source;
    QList<QPair<int, int>> values;
    QStringList events;
    std::function<int()> logRows;

    int heightTwips() const override { return height; }
    bool figuresShown() const override { return shown; }
    void setDownloadText(const QString &t) override { download = t; }
    void setUploadText(const QString &t) override { upload = t; }
    void setCaption(const QString &t) override { caption = t; }
    void setRateLine(const QString &t) override { rateLine = t; }
    void setGraphMax(int m) override { graphMax = m; }
    void addGraphValues(int d, int u) override { values.append({d, u}); }
    void setGraphToolTip(const QString &t) override { toolTip = t; }
    void setVolumeLeft(const QString &t, VolumeAlert) override { volumeLeft = t; }
    void setTrayTip(const QString &t, qint64) override { trayTip = t; }
    void setStoreProblem(const StoreProblem &p) override { storeProblem = p; }
    void setSourceLine(const SourceLine &l) override { source = l; }
    void setPollTimerEnabled(bool enabled) override
    {
        events << QStringLiteral("timer %1 with %2 rows")
                      .arg(enabled ? QStringLiteral("on") : QStringLiteral("off"))
                      .arg(logRows());
    }
};

class NoSound final : public WarningSound
{
public:
    void play(const QString &) override { }
};

} // namespace

// Fails the test when the rate line does not start with the text.
#define RATE_LINE_STARTS(f, text)                                                                                      \
    QVERIFY2((f).view.rateLine.startsWith(QLatin1String(text)), qPrintable((f).view.rateLine))

// The poll's arithmetic and texts with a fake interface table and clock, a real database
// and the real log writer.
class TestMonitorPoll : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TestDatabase db;
        FakeClock clock {QDateTime(QDate(2026, 12, 5), QTime(17, 0))};
        FakeInterfaceTable table;
        Settings settings;
        OpenRow row;
        const RunCounters &counters = row.counters();
        DebugLog log {false, QString(), clock};
        SampleAdapters sampler {table, settings.adapters, db.path()};
        TrafficLogWriter writer {db.path(), row, clock, log};
        NoSound sound;
        VolumeLeftText volumeLeft {db.path(), clock, counters, settings, &sound, QString()};
        RecordingView view;
        RowJournal journal {db.path()};
        MonitorPoll poll;

        explicit Fixture(RouterSource *router = nullptr)
            : poll({sampler, row, settings, writer, journal, volumeLeft, clock, view, router}, 500)
        {
            table.rows = FakeInterfaceTable::cards(1);
            table.rows[0].in = 1'000'000;
            table.rows[0].out = 500'000;
            view.logRows = [this] { return logRows(); };
            // As start-up leaves it: journal writes without a disk flush each.
            db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        }
        int logRows() const
        {
            return int(db.rows(QStringLiteral("select * from Log where BytesRcvd+BytesSent>0")).size());
        }
        QStringList logged(const char *columns) const
        {
            return db.rows(QStringLiteral("select %1 from Log where BytesRcvd>0").arg(QLatin1String(columns)));
        }
        // The next poll, on time, after the card received and sent so many more bytes.
        void poll500(quint64 in, quint64 out = 0)
        {
            table.rows[0].in += in;
            table.rows[0].out += out;
            clock.advanceMsecs(500);
            poll.run();
        }
    };

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void firstPollsShowIdleRatesThenTheLocales()
    {
        Fixture f;
        f.table.rows[0] = {1, QStringLiteral("eth0")}; // has not counted anything yet
        f.poll.run();
        QCOMPARE(f.view.rateLine, QStringLiteral("U: 0,0 - D: 0,0 kBps. (Avg: 0.0 - Max: 0.0)"));
        QCOMPARE(f.view.values, (QList<QPair<int, int>> {{0, 0}}));
        QCOMPARE(f.counters.rowStart, f.clock.now());
        QCOMPARE(f.view.download, QStringLiteral("0.0 KB"));
        f.poll500(0);
        // 600 bytes in 500 ms, all counted, in a locale of decimal commas: the idle upload stays "0,0".
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        f.poll500(600);
        QCOMPARE(f.counters.curIn - f.counters.baseIn, 600.0);
        QCOMPARE(f.view.rateLine, QStringLiteral("U: 0,0 - D: 1,2 kBps. (Avg: 1,2 - Max: 1,2)"));
        QCOMPARE(f.counters.avgDown, 1.2);
        QCOMPARE(f.view.values.last(), qMakePair(1, 0));
        // Hidden, the labels' texts are left out; asked for, they are what a shown poll gives.
        f.view.shown = false;
        f.poll500(1200);
        QCOMPARE(f.view.rateLine, QStringLiteral("U: 0,0 - D: 1,2 kBps. (Avg: 1,2 - Max: 1,2)"));
        f.poll.showFigures();
        QCOMPARE(f.view.rateLine, QStringLiteral("U: 0,0 - D: 2,4 kBps. (Avg: 1,8 - Max: 2,4)"));
    }

    void smallRatesCountButAreNotAveragedAndRatesUseTheTimeThatPassed()
    {
        Fixture f;
        f.poll.run();
        f.poll500(3000); // 6 kB/s
        f.poll500(250); // 0.5 kB/s: in the divisor only
        QCOMPARE(f.counters.avgDown, 6.0);
        f.poll500(1500); // 3 kB/s: (6 × 2 + 3) / 3
        QCOMPARE(f.counters.avgDown, 5.0);
        QCOMPARE(f.counters.maxDown, 6.0);

        // A poll a whole second late: 600 bytes in 1.5 s.
        f.table.rows[0].in += 600;
        f.clock.advanceMsecs(1500);
        f.poll.run();
        RATE_LINE_STARTS(f, "U: 0,0 - D: 0.4 kBps.");
        // A failed reading between two good ones: the rate spans both intervals.
        f.table.failNextRead = true;
        f.poll500(0);
        RATE_LINE_STARTS(f, "U: 0,0 - D: 0,0");
        f.poll500(1000);
        RATE_LINE_STARTS(f, "U: 0,0 - D: 1.0 kBps.");
    }

    void volumeAndLongRateLineTexts()
    {
        QCOMPARE(MonitorTexts::volume(1048575), QStringLiteral("1,024.0 KB")); // rounds up, still in KB
        QCOMPARE(MonitorTexts::volume(1048576), QStringLiteral("1.00 MB"));
        const QString line53 = QStringLiteral("U: 23,456.7 - D: 1,234.5 kBps. (Avg: 99.0 - Max: 9.0)");
        const QString line54 = QLatin1Char('1') + line53;
        QCOMPARE(MonitorTexts::cutRateLine(line53), line53);
        QCOMPARE(MonitorTexts::cutRateLine(line54), QStringLiteral("1U: 23,456.7 - D: 1,234.5 kBps. (Avg: 99.0)"));
    }

    void graphScale()
    {
        const struct
        {
            int samples;
            double rate; // of each earlier sample: the row's average
            int max;
            quint64 bytes;
            int expected;
        } cases[] = {
            {0, 0, 5, 15000, 40}, // 30 kB/s from zero widens it
            {99, 0, 5, 15000, 5}, // not after 99 idle samples
            {3, 6, 100, 200, 7}, // calm traffic shrinks it to the average
            {3, 5, 100, 200, 100}, // but not below an average of 5
            {10, 10, 20, 50000, 20}, // a spike over 4 averages leaves it
        };
        for (const auto &c : cases) {
            Fixture f;
            f.poll.run();
            for (int i = 0; i < c.samples; ++i)
                f.row.addDownloadRate(c.rate);
            f.poll.scale().setMax(c.max);
            f.poll500(c.bytes);
            QCOMPARE(f.view.graphMax, c.expected);
        }
    }

    void uploadWidensTheScale()
    {
        Fixture f;
        f.settings.kilobitState = 1;
        f.poll.run();
        f.poll500(10000, 0); // 20 kB/s down: scale 30, average 20
        QCOMPARE(f.view.graphMax, 30);
        f.poll500(10000, 25000); // 50 kB/s up: below 4 averages, above the scale
        QCOMPARE(f.view.graphMax, 51);
        QCOMPARE(f.view.values.last(), qMakePair(20, 50));
        QCOMPARE(f.view.rateLine, QStringLiteral("U: 409.6 - D: 163.8 Kbps. (Avg: 163.8 - Max: 163.8)"));
        QCOMPARE(f.view.toolTip, QStringLiteral("Graph Max: 418")); // 51 × 8.192
    }

    void counterDropClosesTheRowAndLosesNothing()
    {
        Fixture f;
        f.settings.whatsLeftState = 1;
        f.settings.maxMB = 100;
        f.db.exec(
            QStringLiteral("insert into Log values ('2026-12-05 10:00:00', '2026-12-05 11:00:00', 10485760, 0, 0)"));
        f.poll.run();
        f.poll500(1048576 - 1010, 1000);
        QCOMPARE(f.settings.cachedVolume, 10.0);
        QCOMPARE(f.view.volumeLeft, QStringLiteral("89 MB (89.0 %) Left."));

        // The card was reset and counted 10 bytes since: they count, and the row closes.
        f.table.rows[0].in = 10;
        f.poll500(0);
        QCOMPARE(f.logged("BytesRcvd, BytesSent"), QStringList {QStringLiteral("1047576|1000")});
        QCOMPARE(f.view.events,
            QStringList({QStringLiteral("timer off with 1 rows"), QStringLiteral("timer on with 2 rows")}));
        // The written row is no longer counted as the running row's: the cache was cleared.
        QCOMPARE(f.settings.cachedVolume, 11.0);
        QCOMPARE(f.view.volumeLeft, QStringLiteral("89 MB (89.0 %) Left."));

        // The next row starts from the readings the closed one ended with.
        f.poll500(2048);
        QCOMPARE(f.view.download, QStringLiteral("2.0 KB"));
        RATE_LINE_STARTS(f, "U: 0,0 - D: 4.1 kBps.");
    }

    void rowClosesPastTheLimitAndLosesNoBytes()
    {
        Fixture f;
        f.poll.run();
        f.poll500(2'000'000'000);
        QCOMPARE(f.logRows(), 0);
        f.poll500(1);
        QCOMPARE(f.logged("BytesRcvd"), QStringList {QStringLiteral("2000000001")});
        // The next poll's traffic is the new row's, none of it dropped by a re-base.
        f.poll500(700);
        QCOMPARE(f.counters.rowBytesIn(), 700.0);
    }

    // A refused row stays open, is tried again every 30 s, and its reason shows from the refusal
    // until it is written, never claiming the row safe while the journal cannot hold it.
    void refusedRowIsKeptAndTriedAgain()
    {
        Fixture f;
        f.poll.run();
        StoreSession holder(f.db.path());
        QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
        QList<bool> shown;
        for (int i = 0; i < 20; ++i) {
            f.poll500(150);
            shown << !f.view.storeProblem.isEmpty();
            QVERIFY(f.view.storeProblem.isEmpty() || !f.view.storeProblem.journaled);
        }
        const qsizetype failed = shown.indexOf(true);
        QVERIFY(failed >= 0);
        QCOMPARE(shown.count(true), shown.size() - failed);
        QVERIFY(!f.view.storeProblem.message().contains(QLatin1String("Nothing is lost")));
        f.poll.closeRow(); // "Reset Counters"
        QVERIFY2(f.view.storeProblem.reason.contains(QStringLiteral("locked")), qPrintable(f.view.storeProblem.reason));
        for (int i = 0; i < 58; ++i)
            f.poll500(100);
        QCOMPARE(f.view.events.size(), 2); // no try before 30 s
        holder.rollback();
        f.poll500(100);
        QCOMPARE(f.view.events.size(), 2);
        f.poll500(100);
        QCOMPARE(f.view.events.size(), 4);
        QVERIFY(f.view.storeProblem.isEmpty());
        QCOMPARE(f.logged("BytesRcvd"), QStringList {QStringLiteral("9000")});
    }

    // A router on loopback that answers what a file says: its bytes, not the card's, go into
    // the row, each answer's rate over its span, held until the next; a reboot ends the row; a
    // router gone quiet says since when; the card counts again from its last reading.
    void routerIsTheMeteredSource()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("counters"));
        const auto tell = [&file](const char *counters) {
            QSaveFile f(file); // replaced whole: never read half written
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(counters) > 0 && f.commit());
        };
        tell("1000000 500000 100");
        QProcess igd;
        igd.start(QStringLiteral("python3"), {QFINDTESTDATA("counting_igd.py"), QStringLiteral("--counters"), file});
        QVERIFY(igd.waitForReadyRead(10000));
        const QString url = QStringLiteral("http://127.0.0.1:%1/rootDesc.xml").arg(QString::fromLatin1(igd.readLine().trimmed()));
        SystemClock wall;
        RouterSource router(wall);
        Fixture f(&router);
        f.poll.run();
        router.follow(url, QStringLiteral("Chosen"), 2000);
        // Polls on time, the card counting 7000 bytes each, until `done` or 30 s.
        const auto pollUntil = [&f](const std::function<bool()> &done) {
            for (int i = 0; i < 600 && !done(); ++i) {
                f.poll500(7000);
                QTest::qWait(50);
            }
        };
        pollUntil([&igd] { return igd.readAll().contains("GetTotalBytesSent"); }); // the first answer
        QTest::qWait(500);
        tell("1300000 600000 102");
        pollUntil([&f] { return f.counters.rowBytesIn() > 0; });
        QCOMPARE(f.counters.rowBytesIn(), 300000.0);
        QCOMPARE(f.counters.rowBytesOut(), 100000.0);
        QCOMPARE(f.view.source, (SourceLine {QStringLiteral("Router: Loopback IGD"), {}, false}));
        // Carried over the 2 s between the answers.
        const auto shown = f.view.values.last();
        QVERIFY2(shown.first >= 100 && shown.first <= 200 && shown.second >= 33 && shown.second <= 67,
            qPrintable(f.view.rateLine));
        const QString rateLine = f.view.rateLine;
        for (int i = 0; i < 3; ++i)
            f.poll500(7000);
        QCOMPARE(f.view.values.last(), shown);
        QCOMPARE(f.view.rateLine, rateLine);
        QCOMPARE(f.counters.downSamples, 1.0);
        QCOMPARE(f.counters.maxDown, f.counters.avgDown);

        // Rebooted: its new count is the row's last traffic, and the row ends, as an interface's
        // fallen counter ends it.
        tell("50000 20000 3");
        pollUntil([&f] { return f.logRows() > 0; });
        QCOMPARE(f.logged("BytesRcvd, BytesSent"), QStringList {QStringLiteral("350000|120000")});
        QCOMPARE(f.counters.rowBytesIn() + f.counters.rowBytesOut(), 0.0);

        igd.kill();
        igd.waitForFinished();
        pollUntil([&f] { return f.view.source.silent; });
        QVERIFY2(f.view.source.text.startsWith(QStringLiteral("Router: Loopback IGD not answering since ")),
            qPrintable(f.view.source.text));
        QVERIFY(!f.view.source.why.isEmpty());
        RATE_LINE_STARTS(f, "U: 0,0 - D: 0,0");
        router.follow({}, {});
        f.poll500(1000);
        QCOMPARE(f.counters.rowBytesIn(), 1000.0);
        QVERIFY(f.view.source.isEmpty());
    }

    void captionsAndTrayTip_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("whatsLeft");
        QTest::addColumn<double>("maxMB");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");

        const QString status = QStringLiteral("2.00 MB - Avg: 4,194.3 kBps.");
        const QString full = QStringLiteral("2.00 MB - Varnolt 1.3");
        const QString left = status + QStringLiteral(" - 98 MB (98.0 %) Left.");
        QTest::newRow("1000, line off") << 1000 << false << 0.0 << full << status;
        QTest::newRow("1560, line on") << 1560 << true << 100.0 << full << left;
        QTest::newRow("50, line off") << 50 << false << 100.0 << status << status;
        QTest::newRow("50, line on") << 50 << true << 100.0 << status + QStringLiteral(" - 98 MB Left.") << left;
        const QString usedUp = status + QStringLiteral(" - Exceeded by 1 MB."); // no "(" to cut at
        QTest::newRow("50, used up") << 50 << true << 1.0 << usedUp << usedUp;
        QTest::newRow("50, no allowance") << 50 << true << 0.0 << status << status + QStringLiteral(" - ");
    }

    void captionsAndTrayTip()
    {
        QFETCH(int, height);
        QFETCH(bool, whatsLeft);
        QFETCH(double, maxMB);
        Fixture f;
        f.view.height = height;
        f.settings.whatsLeftState = whatsLeft ? 1 : 0;
        f.settings.maxMB = maxMB;
        f.poll.run();
        f.poll500(2 * 1048576);
        QTEST(f.view.caption, "caption");
        QTEST(f.view.trayTip, "tip");
        QCOMPARE(f.view.volumeLeft.isEmpty(), !whatsLeft || maxMB == 0);
    }
};

QTEST_MAIN(TestMonitorPoll)
#include "tst_monitorpoll.moc"
