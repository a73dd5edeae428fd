// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/Settings.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/VolumeLeftText.h"
#include "core/traffic/WarningSound.h"

#include <QLocale>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr double MB = 1024.0 * 1024.0;

class RecordingSound final : public WarningSound
{
public:
    void play(const QString &path) override { played << path; }
    QStringList played;
};

// Everything a VolumeLeftText needs, with sounds on and the monitor's allowance of 1000 MB.
struct Rig
{
    explicit Rig(QDateTime now = QDateTime(QDate(2026, 12, 9), QTime(13, 45, 10)))
        : clock(std::move(now))
    {
        settings.playWavState = 1;
    }

    // The current row's traffic, split over both directions and above non-zero bases, so that
    // a formula that forgets a direction or a base shows.
    void setRunMB(double mb)
    {
        counters.baseIn = 3e9;
        counters.curIn = 3e9 + mb * MB * 0.75;
        counters.baseOut = 1e9;
        counters.curOut = 1e9 + mb * MB * 0.25;
    }
    void addLogRow(const QString &start, double mb) const
    {
        db.exec(u"insert into Log values('%1','%1',%2,%3,0)"_s.arg(start)
                    .arg(qint64(mb * MB / 3))
                    .arg(qint64(mb * MB) - qint64(mb * MB / 3)));
    }
    QString monitor(double maxMB = 1000) { return volume.text(maxMB, 1, u"0"_s, cache, true, 1); }

    TestDatabase db;
    FakeClock clock;
    RunCounters counters;
    Settings settings;
    RecordingSound player;
    QString soundFolder = u"/opt/varnolt"_s;
    double cache = 0;
    VolumeLeftText volume {db.path(), clock, counters, settings, &player, soundFolder};
};

// Colours as letters, in the order of VolumeAlert: Initial, Green, Orange, Red.
VolumeAlert alertOf(QChar letter)
{
    return VolumeAlert(QStringView(u"IGOR").indexOf(letter));
}

} // namespace

class TestVolumeLeftText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void texts_data()
    {
        QTest::addColumn<double>("maxMB");
        QTest::addColumn<double>("loggedMB");
        QTest::addColumn<double>("runMB");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QChar>("alert");

        // 999.6 MB and 99.96 % left: rounded, not truncated.
        QTest::newRow("rounded") << 1000.0 << 0.0 << 0.4 << u"1000 MB (100,0 %) Left."_s << QChar(u'G');
        QTest::newRow("no exponent") << 1e12 << 0.0 << 0.0 << u"1000000000000 MB (100,0 %) Left."_s << QChar(u'G');
        QTest::newRow("red") << 1000.0 << 600.0 << 300.0 << u"100 MB (10,0 %) Left."_s << QChar(u'R');
        QTest::newRow("exactly used up") << 1000.0 << 1000.0 << 0.0 << u"0 MB Left."_s << QChar(u'R');
        QTest::newRow("over") << 1000.0 << 1000.0 << 1234.4 << u"Exceeded by 1234 MB."_s << QChar(u'R');
        QTest::newRow("a fraction over") << 1000.0 << 1000.0 << 0.4 << u"Exceeded by less than 1 MB."_s << QChar(u'R');
        QTest::newRow("half a MB over") << 1000.0 << 1000.0 << 0.5 << u"Exceeded by 1 MB."_s << QChar(u'R');
        // Without an allowance there is no line, and its colour is left alone.
        QTest::newRow("no allowance") << 0.0 << 1000.0 << 20.0 << QString() << QChar(u'I');
        QTest::newRow("negative allowance") << -1.0 << 1000.0 << 20.0 << QString() << QChar(u'I');
    }

    void texts()
    {
        QFETCH(double, maxMB);
        QFETCH(double, loggedMB);
        QFETCH(double, runMB);
        QFETCH(QChar, alert);
        Rig rig;
        rig.addLogRow(u"2026-12-09 08:00:00"_s, loggedMB);
        rig.setRunMB(runMB);

        QTEST(rig.monitor(maxMB), "expected");
        QCOMPARE(rig.volume.alert(), alertOf(alert));
        // The first evaluation of a run only sets the colour.
        QCOMPARE(rig.player.played, QStringList());
        QCOMPARE(rig.cache, loggedMB);
    }

    void soundsOncePerCrossing_data()
    {
        // Steps of one run against 1000 MB: the MB used at each poll, how it is asked (1: by the
        // monitor with the sound option on, 0: with it off, p: by the options dialog's preview,
        // alerts off), the colours after each poll and the sounds played over all of them.
        QTest::addColumn<QList<int>>("usedMB");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("colours");
        QTest::addColumn<QStringList>("sounds");

        const QStringList at15 {u"15Percent.wav"_s};
        const QStringList at30 {u"30Percent.wav"_s};
        QTest::newRow("31 % to 14 %: only the 15 % sound") << QList<int> {690, 860} << u"11"_s << u"GR"_s << at15;
        // The first poll sets orange silently; 30.0 % left is green again, 15.0 % still orange;
        // climbing back is silent, and each crossing down again sounds again.
        QTest::newRow("each sound once per crossing")
            << QList<int> {701, 720, 700, 701, 850, 851, 900, 750, 860, 500, 710} << u"11111111111"_s
            << u"OOGOORRORGO"_s << at30 + at15 + at15 + at30;
        QTest::newRow("used up from green: red, silent")
            << QList<int> {690, 1020, 860} << u"111"_s << u"GRR"_s << QStringList();
        QTest::newRow("option off, then on for the 15 % crossing")
            << QList<int> {690, 710, 860} << u"001"_s << u"GOR"_s << at15;
        QTest::newRow("the preview changes nothing")
            << QList<int> {690, 860, 1020, 710} << u"1ppp"_s << u"GGGG"_s << QStringList();
    }

    void soundsOncePerCrossing()
    {
        QFETCH(QList<int>, usedMB);
        QFETCH(QString, asked);
        QFETCH(QString, colours);
        QFETCH(QStringList, sounds);
        Rig rig;
        // Without a player, the same colours and nothing to play on.
        VolumeLeftText silent(rig.db.path(), rig.clock, rig.counters, rig.settings, nullptr, rig.soundFolder);
        for (int i = 0; i < usedMB.size(); ++i) {
            const bool alerts = asked.at(i) != u'p';
            rig.settings.playWavState = asked.at(i) == u'0' ? 0 : 1;
            rig.setRunMB(usedMB.at(i));
            QVERIFY(!rig.volume.text(1000, 1, u"0"_s, rig.cache, alerts, 1).isEmpty());
            silent.text(1000, 1, u"0"_s, rig.cache, alerts, 1);
            QCOMPARE(rig.volume.alert(), alertOf(colours.at(i)));
            QCOMPARE(silent.alert(), rig.volume.alert());
        }
        for (QString &name : sounds)
            name.prepend(rig.soundFolder + u'/');
        QCOMPARE(rig.player.played, sounds);
    }

    void trackingWindow_data()
    {
        // The start of the window as the options dialog shows it, worked out on the calendar;
        // 00:00 of its day is the first moment that no longer counts.
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("periodType");
        QTest::addColumn<int>("periodLength");
        QTest::addColumn<int>("startDay");
        QTest::addColumn<QDateTime>("windowStart");

        const QDateTime wednesday(QDate(2026, 12, 9), QTime(13, 45, 10));
        const auto at9 = [](int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(9, 0)); };
        const auto midnight = [](int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(0, 0)); };

        QTest::newRow("two weeks on a Wednesday") << wednesday << u"1"_s << 2 << 1 << wednesday.addDays(-14);
        QTest::newRow("three days") << wednesday << u"0"_s << 3 << 20 << wednesday.addDays(-3);
        QTest::newRow("start day 15 on the 15th") << at9(2026, 6, 15) << u"2"_s << 1 << 15 << midnight(2026, 5, 15);
        QTest::newRow("start day 15 on the 14th") << at9(2026, 6, 14) << u"2"_s << 1 << 15 << midnight(2026, 4, 15);
        QTest::newRow("start day 15 in January") << at9(2026, 1, 10) << u"2"_s << 1 << 15 << midnight(2025, 11, 15);
        // Counted from 30 April, the last day of the month before; one month before it is 30 March.
        QTest::newRow("start day 31 on 10 May") << at9(2026, 5, 10) << u"2"_s << 1 << 31 << midnight(2026, 3, 30);
        QTest::newRow("two months from the 1st") << at9(2026, 6, 20) << u"2"_s << 2 << 1 << midnight(2026, 4, 1);
        // A negative length ("-" + "-5" would start an SQL comment) counts from today's midnight;
        // the highest reaches about a thousand years back, to a date the calendar holds.
        QTest::newRow("lowest 32-bit length")
            << wednesday << u"0"_s << int(std::numeric_limits<qint32>::min()) << 1 << wednesday;
        QTest::newRow("highest 32-bit length")
            << wednesday << u"0"_s << int(std::numeric_limits<qint32>::max()) << 1 << wednesday.addDays(-365000);
    }

    void trackingWindow()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, periodType);
        QFETCH(int, periodLength);
        QFETCH(int, startDay);
        QFETCH(QDateTime, windowStart);
        Rig rig(now);
        // 00:00 itself is out and counts 1 MB if wrongly taken in; a second later is in and counts 2.
        const QDateTime edge(windowStart.date(), QTime(0, 0));
        rig.addLogRow(edge.toString(u"yyyy-MM-dd HH:mm:ss"_s), 1);
        rig.addLogRow(edge.addSecs(1).toString(u"yyyy-MM-dd HH:mm:ss"_s), 2);

        QTest::failOnWarning(QRegularExpression(u"logged volume not read"_s));
        QDateTime shown;
        rig.volume.text(1000, periodLength, periodType, rig.cache, true, qint16(startDay), &shown);
        QCOMPARE(rig.cache, 2.0);
        QCOMPARE(shown, windowStart);
    }

    // The cache spares the database every poll; a database another program holds counts as
    // nothing logged, with one warning however many polls it lasts.
    void cacheAndUnreadableDatabase()
    {
        Rig rig;
        // Marker rows (all zeros) sum to 0, which is no cached volume: the next call asks again.
        rig.addLogRow(u"2026-12-09 00:00:00"_s, 0);
        QCOMPARE(rig.monitor(), u"1000 MB (100,0 %) Left."_s);
        QCOMPARE(rig.cache, 0.0);
        rig.addLogRow(u"2026-12-08 10:00:00"_s, 300);
        QCOMPARE(rig.monitor(), u"700 MB (70,0 %) Left."_s);

        // Rows written later are not seen while the cache holds, nor is the database asked.
        rig.addLogRow(u"2026-12-09 10:00:00"_s, 100);
        rig.setRunMB(50);
        StoreSession holder(rig.db.path());
        QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));
        QCOMPARE(rig.monitor(), u"650 MB (65,0 %) Left."_s);

        // The poll clears the cache after writing a row.
        const QRegularExpression warning(u"logged volume not read"_s);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QTest::failOnWarning(warning);
        for (int poll = 0; poll < 2; ++poll) {
            rig.cache = 0;
            QCOMPARE(rig.monitor(), u"950 MB (95,0 %) Left."_s);
            QCOMPARE(rig.cache, 0.0);
        }
        holder.rollback();
        QCOMPARE(rig.monitor(), u"550 MB (55,0 %) Left."_s);
        QCOMPARE(rig.cache, 400.0);
    }

    void loggedVolumeAsTheLogSumsIt_data()
    {
        QTest::addColumn<bool>("dayTotals");
        QTest::addColumn<QString>("locale");
        QTest::newRow("per-day totals") << true << u"de_DE"_s;
        // The date and the numbers of the query are the same under every locale.
        QTest::newRow("per-day totals, Arabic-Indic digits") << true << u"ar_EG"_s;
        // A database made before the per-day totals, read by the report without a start-up.
        QTest::newRow("summed row by row") << false << u"de_DE"_s;
    }

    // The window's first day is summed from the log's rows after its 00:00, the later days
    // from their totals, and a day with a row that lacks a count from its rows, as the log's
    // own sum leaves such a row out while the day's totals hold its other count.
    void loggedVolumeAsTheLogSumsIt()
    {
        QFETCH(bool, dayTotals);
        QFETCH(QString, locale);
        Rig rig;
        if (!dayTotals) {
            rig.db.exec(u"drop trigger LogPerDayInsert; drop trigger LogPerDayDelete; drop trigger LogPerDayUpdate; "
                        u"drop table LogPerDay"_s);
        }
        // Powers of two, so that each sum names the rows it took.
        const QList<std::pair<const char *, double>> rows {{"2026-12-05 23:59:59", 64}, {"2026-12-06 00:00:00", 1},
            {"2026-12-06 00:00:01", 2}, {"2026-12-06 23:59:59", 4}, {"2026-12-07 00:00:00", 8},
            {"2026-12-07 13:00:00", 32}, {"2026-12-08 00:00:00", 0}, {"2026-12-09 08:00:00", 128}};
        for (const auto &[start, mb] : rows)
            rig.addLogRow(QString::fromLatin1(start), mb);
        rig.db.exec(
            u"insert into Log values('2026-12-07 12:00:00','2026-12-07 12:00:00',NULL,%1,0)"_s.arg(qint64(16 * MB)));

        QLocale::setDefault(QLocale(locale));
        const auto german = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); });
        // Days back from 9 December: the MB logged after 00:00 of the window's first day.
        for (const auto &[length, logged] : QList<std::pair<int, double>> {{0, 128}, {2, 160}, {3, 174}, {4, 239}}) {
            StoreSession session(rig.db.path());
            QVERIFY(session.open());
            const std::optional<QueryResult> result
                = VolumeLeftText::queryLoggedVolume(session, u"d"_s, length, QDate(2026, 12, 9));
            QVERIFY2(result, qPrintable(session.errorString()));
            QCOMPARE(result->value(0, u"LoggedVolume"_s).toDouble(), logged);
        }
    }
};

QTEST_GUILESS_MAIN(TestVolumeLeftText)
#include "tst_volumelefttext.moc"
