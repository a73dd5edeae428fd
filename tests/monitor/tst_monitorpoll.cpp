#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "core/DebugLog.h"
#include "core/RunCounters.h"
#include "core/SampleAdapters.h"
#include "core/Settings.h"
#include "core/TrafficLogWriter.h"
#include "core/VolumeLeftText.h"
#include "core/WarningSound.h"
#include "monitor/MonitorPoll.h"
#include "monitor/MonitorTexts.h"
#include "monitor/MonitorView.h"

#include <QLocale>
#include <QTest>

namespace {

// Keeps what the poll showed, and the order of the timer switches and the log rows.
class RecordingView final : public MonitorView
{
public:
    int height = 1560;
    QString download, upload, caption, rateLine, toolTip, volumeLeft, trayTip;
    VolumeAlert alert = VolumeAlert::Initial;
    int graphMax = 0;
    QList<QPair<int, int>> values;
    QStringList events;
    bool frozen = false;
    std::function<int()> logRows;

    int heightTwips() const override { return height; }
    void freezeDrawing(bool f) override { frozen = f; }
    void setDownloadText(const QString &t) override { download = t; }
    void setUploadText(const QString &t) override { upload = t; }
    void setCaption(const QString &t) override { caption = t; }
    void setRateLine(const QString &t) override { rateLine = t; }
    void setGraphMax(int m) override { graphMax = m; }
    void addGraphValues(int d, int u) override
    {
        QVERIFY(frozen);
        values.append({d, u});
    }
    void setGraphToolTip(const QString &t) override { toolTip = t; }
    void setVolumeLeft(const QString &t, VolumeAlert a) override
    {
        volumeLeft = t;
        alert = a;
    }
    void setTrayTip(const QString &t) override { trayTip = t; }
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

// The poll's arithmetic and texts with a fake interface table and clock, a real database
// and the real log writer.
class TestMonitorPoll : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void firstPollShowsIdleRatesAndTakesTheSample();
    void ratesInTheChosenUnitAndLocale_data();
    void ratesInTheChosenUnitAndLocale();
    void smallRatesCountButAreNotAveraged();
    void ratesUseTheTimeThatPassed();
    void counterStartingAtZeroLosesNothing();
    void volumeTexts_data();
    void volumeTexts();
    void longRateLineLosesItsMaximum();
    void graphScale_data();
    void graphScale();
    void uploadWidensTheScale();
    void counterDropClosesTheRowWithTheLastGoodReadings();
    void newDayClosesTheRowOnce_data();
    void newDayClosesTheRowOnce();
    void oversizedRowIsClosed();
    void captionsAndTrayTip_data();
    void captionsAndTrayTip();
    void writtenRowClearsTheCachedVolume();

private:
    struct Fixture
    {
        TestDatabase db;
        FakeClock clock {QDateTime(QDate(2026, 12, 5), QTime(17, 0))};
        FakeInterfaceTable table;
        Settings settings;
        RunCounters counters;
        DebugLog log {false, QString(), clock};
        SampleAdapters sampler {table, settings.adapters, counters, db.path()};
        TrafficLogWriter writer {db.path(), counters, clock, log};
        NoSound sound;
        VolumeLeftText volumeLeft {db.path(), clock, counters, settings, &sound, QString()};
        RecordingView view;
        MonitorPoll poll {{sampler, counters, settings, writer, volumeLeft, clock, view}, 500};

        Fixture()
        {
            table.rows = FakeInterfaceTable::cards(1);
            table.rows[0].in = 1'000'000;
            table.rows[0].out = 500'000;
            view.logRows = [this] { return logRows(); };
        }
        int logRows() const
        {
            return int(db.rows(QStringLiteral("select * from Log where BytesRcvd+BytesSent>0")).size());
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
};

void TestMonitorPoll::firstPollShowsIdleRatesAndTakesTheSample()
{
    Fixture f;
    f.poll.run();
    QCOMPARE(f.view.rateLine, QStringLiteral("U: 0,0 - D: 0,0 kBps. (Avg: 0.0 - Max: 0.0)"));
    QCOMPARE(f.view.values, (QList<QPair<int, int>> {{0, 0}}));
    QCOMPARE(f.counters.downSamples, 0.0);
    QCOMPARE(f.counters.rowStart, f.clock.now());
    QCOMPARE(f.counters.baseIn, 1'000'000.0);
    QCOMPARE(f.counters.prevIn, 1'000'000.0);
    QCOMPARE(f.counters.baseOut, 500'000.0);
    // The row's volume was read before the bases were set: the whole counter.
    QCOMPARE(f.view.download, QStringLiteral("976.6 KB"));
    QVERIFY(!f.view.frozen);

    f.poll500(0);
    QCOMPARE(f.view.download, QStringLiteral("0.0 KB"));
    QCOMPARE(f.view.caption, QStringLiteral("0.0 KB - Varnolt 1.3"));
    QCOMPARE(f.view.trayTip, QStringLiteral("0.0 KB - Avg: 0.0 kBps."));
}

void TestMonitorPoll::ratesInTheChosenUnitAndLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("kilobit");
    QTest::addColumn<QString>("line");
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    QTest::newRow("kBps") << en << false << "U: 0,0 - D: 1.2 kBps. (Avg: 1.2 - Max: 1.2)";
    QTest::newRow("Kbps") << en << true << "U: 0,0 - D: 9.8 Kbps. (Avg: 9.8 - Max: 9.8)";
    QTest::newRow("de kBps") << de << false << "U: 0,0 - D: 1,2 kBps. (Avg: 1,2 - Max: 1,2)";
}

void TestMonitorPoll::ratesInTheChosenUnitAndLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, kilobit);
    QFETCH(QString, line);
    QLocale::setDefault(locale);
    Fixture f;
    f.settings.kilobitState = kilobit ? 1 : 0;
    f.poll.run();
    f.poll500(600);
    QCOMPARE(f.view.rateLine, line);
    QCOMPARE(f.counters.avgDown, 1.2);
    QCOMPARE(f.view.values.last(), qMakePair(1, 0));
}

void TestMonitorPoll::smallRatesCountButAreNotAveraged()
{
    Fixture f;
    f.poll.run();
    f.poll500(3000); // 6 kB/s
    QCOMPARE(f.counters.avgDown, 6.0);
    f.poll500(250); // 0.5 kB/s: in the divisor only
    QCOMPARE(f.counters.downSamples, 2.0);
    QCOMPARE(f.counters.avgDown, 6.0);
    f.poll500(1500); // 3 kB/s: (6 × 2 + 3) / 3
    QCOMPARE(f.counters.avgDown, 5.0);
    QCOMPARE(f.counters.maxDown, 6.0);
}

void TestMonitorPoll::ratesUseTheTimeThatPassed()
{
    Fixture f;
    f.poll.run();
    // A poll a whole second late: 600 bytes in 1.5 s.
    f.table.rows[0].in += 600;
    f.clock.advanceMsecs(1500);
    f.poll.run();
    QVERIFY2(f.view.rateLine.startsWith(QLatin1String("U: 0,0 - D: 0.4 kBps.")), qPrintable(f.view.rateLine));

    // A failed reading between two good ones: the rate spans both intervals.
    f.table.failNextRead = true;
    f.poll500(0);
    QVERIFY(f.view.rateLine.startsWith(QLatin1String("U: 0,0 - D: 0,0")));
    f.poll500(1000);
    QVERIFY2(f.view.rateLine.startsWith(QLatin1String("U: 0,0 - D: 1.0 kBps.")), qPrintable(f.view.rateLine));
}

void TestMonitorPoll::counterStartingAtZeroLosesNothing()
{
    Fixture f;
    f.table.rows[0].in = 0; // an interface that has not received anything yet
    f.table.rows[0].out = 0;
    f.poll.run();
    f.poll500(0);
    f.poll500(5000);
    QCOMPARE(f.counters.curIn - f.counters.baseIn, 5000.0);
    QVERIFY2(f.view.rateLine.startsWith(QLatin1String("U: 0,0 - D: 10.0 kBps.")), qPrintable(f.view.rateLine));
}

void TestMonitorPoll::volumeTexts_data()
{
    QTest::addColumn<double>("bytes");
    QTest::addColumn<QString>("en");
    QTest::addColumn<QString>("de");
    QTest::newRow("0") << 0.0 << "0.0 KB"
                       << "0,0 KB";
    QTest::newRow("1,048,575 rounds up in KB") << 1048575.0 << "1,024.0 KB"
                                               << "1.024,0 KB";
    QTest::newRow("1,048,576 is 1 MB") << 1048576.0 << "1.00 MB"
                                       << "1,00 MB";
    QTest::newRow("5 GB") << 5368709120.0 << "5,120.00 MB"
                          << "5.120,00 MB";
}

void TestMonitorPoll::volumeTexts()
{
    QFETCH(double, bytes);
    QFETCH(QString, en);
    QFETCH(QString, de);
    QCOMPARE(MonitorTexts::volume(bytes), en);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(MonitorTexts::volume(bytes), de);
}

void TestMonitorPoll::longRateLineLosesItsMaximum()
{
    const QString line53 = QStringLiteral("U: 23,456.7 - D: 1,234.5 kBps. (Avg: 99.0 - Max: 9.0)");
    const QString line54 = QStringLiteral("U: 123,456.7 - D: 1,234.5 kBps. (Avg: 99.0 - Max: 9.0)");
    QCOMPARE(line53.size(), 53);
    QCOMPARE(MonitorTexts::cutRateLine(line53), line53);
    QCOMPARE(MonitorTexts::cutRateLine(line54), QStringLiteral("U: 123,456.7 - D: 1,234.5 kBps. (Avg: 99.0)"));
    QCOMPARE(MonitorTexts::cutRateLine(QStringLiteral("U: 1.234,5 - D: 10.234,5 Kbps. (Avg: 8.000,1 - Max: 12.000,9)")),
        QStringLiteral("U: 1.234,5 - D: 10.234,5 Kbps. (Avg: 8.000,1)"));

    // Through the poll: 61,728,350 bytes up in 500 ms is 123,456.7 kB/s.
    Fixture f;
    f.poll.run();
    f.poll500(0, 61'728'350);
    QCOMPARE(f.view.rateLine, QStringLiteral("U: 123,456.7 - D: 0,0 kBps. (Avg: 0.0 - Max: 0.0)"));
}

void TestMonitorPoll::graphScale_data()
{
    QTest::addColumn<double>("downSamples");
    QTest::addColumn<double>("avgDown");
    QTest::addColumn<int>("max");
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<int>("expected");
    QTest::newRow("30 kB/s from zero widens to 40") << 0.0 << 0.0 << 5 << quint64(15000) << 40;
    QTest::newRow("after 99 idle samples it stays") << 99.0 << 0.0 << 5 << quint64(15000) << 5;
    QTest::newRow("calm traffic shrinks it to the average") << 3.0 << 6.0 << 100 << quint64(200) << 7;
    QTest::newRow("not below an average of 5") << 3.0 << 5.0 << 100 << quint64(200) << 100;
    QTest::newRow("a spike over 4 averages leaves it") << 10.0 << 10.0 << 20 << quint64(50000) << 20;
}

void TestMonitorPoll::graphScale()
{
    QFETCH(double, downSamples);
    QFETCH(double, avgDown);
    QFETCH(int, max);
    QFETCH(quint64, bytes);
    QFETCH(int, expected);
    Fixture f;
    f.poll.run();
    f.counters.downSamples = downSamples;
    f.counters.avgDown = avgDown;
    f.poll.scale().setMax(max);
    f.poll500(bytes);
    QCOMPARE(f.view.graphMax, expected);
    QCOMPARE(f.view.toolTip, QStringLiteral("Graph Max: %1").arg(expected));
}

void TestMonitorPoll::uploadWidensTheScale()
{
    Fixture f;
    f.settings.kilobitState = 1;
    f.poll.run();
    f.poll500(10000, 0); // 20 kB/s down: scale 30, average 20
    QCOMPARE(f.view.graphMax, 30);
    f.poll500(10000, 25000); // 50 kB/s up: below 4 averages, above the scale
    QCOMPARE(f.counters.maxUp, 50.0);
    QCOMPARE(f.view.graphMax, 51);
    QCOMPARE(f.view.values.last(), qMakePair(20, 50));
    QCOMPARE(f.view.toolTip, QStringLiteral("Graph Max: 418")); // 51 × 8.192
}

void TestMonitorPoll::counterDropClosesTheRowWithTheLastGoodReadings()
{
    Fixture f;
    f.poll.run();
    f.poll500(4000, 1000);
    f.table.rows[0].in = 10; // the card was reset
    f.poll500(0);
    QCOMPARE(f.db.rows(QStringLiteral("select BytesRcvd, BytesSent from Log where BytesRcvd>0")),
        QStringList {QStringLiteral("4000|1000")});
    QCOMPARE(
        f.view.events, QStringList({QStringLiteral("timer off with 0 rows"), QStringLiteral("timer on with 1 rows")}));
    QCOMPARE(f.counters.prevIn, 0.0);

    // The next poll starts a new row from the new reading; the labels kept their texts.
    f.poll500(0);
    QCOMPARE(f.counters.baseIn, 10.0);
    f.poll500(2048);
    QCOMPARE(f.view.download, QStringLiteral("2.0 KB"));
}

void TestMonitorPoll::newDayClosesTheRowOnce_data()
{
    QTest::addColumn<QTime>("at");
    QTest::newRow("00:00:30") << QTime(0, 0, 30);
    QTest::newRow("07:00 after a suspend") << QTime(7, 0);
}

void TestMonitorPoll::newDayClosesTheRowOnce()
{
    QFETCH(QTime, at);
    Fixture f;
    f.clock.set(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59)));
    f.poll.run();
    f.poll500(1000);
    f.clock.set(QDateTime(QDate(2026, 12, 6), at));
    f.poll500(3000);
    f.poll500(500);
    f.poll500(500);
    QCOMPARE(f.view.events.size(), 2);
    QCOMPARE(f.db.rows(QStringLiteral("select DateAndTimeStart, DateAndTimeEnd, BytesRcvd from Log where BytesRcvd>0")),
        QStringList {QStringLiteral("2026-12-05 23:59:59|2026-12-05 23:59:59|4000")});
    QCOMPARE(f.counters.rowStart.date(), QDate(2026, 12, 6));
}

void TestMonitorPoll::oversizedRowIsClosed()
{
    Fixture f;
    f.poll.run();
    f.poll500(2'000'000'000);
    QCOMPARE(f.logRows(), 0);
    f.poll500(1);
    QCOMPARE(f.db.rows(QStringLiteral("select BytesRcvd from Log where BytesRcvd>0")),
        QStringList {QStringLiteral("2000000001")});
    QCOMPARE(f.counters.baseIn, f.counters.curIn);
}

void TestMonitorPoll::captionsAndTrayTip_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("whatsLeft");
    QTest::addColumn<double>("maxMB");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");

    const QString status = QStringLiteral("2.00 MB - Avg: 4,194.3 kBps.");
    QTest::newRow("1000, line off") << 1000 << false << 0.0 << "2.00 MB - Varnolt 1.3" << status;
    QTest::newRow("1560, line on") << 1560 << true << 100.0 << "2.00 MB - Varnolt 1.3"
                                   << status + QStringLiteral(" - 98 MB (98.0 %) Left.");
    QTest::newRow("50, line off") << 50 << false << 100.0 << status << status;
    QTest::newRow("50, line on") << 50 << true << 100.0 << status + QStringLiteral(" - 98 MB Left.")
                                 << status + QStringLiteral(" - 98 MB (98.0 %) Left.");
    QTest::newRow("50, used up") << 50 << true << 1.0 << status + QStringLiteral(" - -1 MB Left.")
                                 << status + QStringLiteral(" - -1 MB Left.");
    QTest::newRow("50, no allowance") << 50 << true << 0.0 << status << status + QStringLiteral(" - ");
}

void TestMonitorPoll::captionsAndTrayTip()
{
    QFETCH(int, height);
    QFETCH(bool, whatsLeft);
    QFETCH(double, maxMB);
    QFETCH(QString, caption);
    QFETCH(QString, tip);
    Fixture f;
    f.view.height = height;
    f.settings.whatsLeftState = whatsLeft ? 1 : 0;
    f.settings.maxMB = maxMB;
    f.poll.run();
    f.poll500(2 * 1048576);
    QCOMPARE(f.view.caption, caption);
    QCOMPARE(f.view.trayTip, tip);
    if (!whatsLeft)
        QVERIFY(f.view.volumeLeft.isEmpty());
}

void TestMonitorPoll::writtenRowClearsTheCachedVolume()
{
    Fixture f;
    f.settings.whatsLeftState = 1;
    f.settings.maxMB = 100;
    f.db.exec(QStringLiteral("insert into Log values ('2026-12-05 10:00:00', '2026-12-05 11:00:00', 0, 10485760, 0)"));
    f.poll.run();
    f.poll500(1048576);
    QCOMPARE(f.settings.cachedVolume, 10.0);
    QCOMPARE(f.view.volumeLeft, QStringLiteral("89 MB (89.0 %) Left."));

    f.table.rows[0].in = 5; // a counter drop writes the 1 MB row
    f.poll500(0);
    QCOMPARE(f.settings.cachedVolume, 11.0);
    QCOMPARE(f.view.volumeLeft, QStringLiteral("89 MB (89.0 %) Left."));
}

QTEST_MAIN(TestMonitorPoll)
#include "tst_monitorpoll.moc"
