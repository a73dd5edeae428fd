// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/Settings.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/VolumeLeftText.h"
#include "core/traffic/WarningSound.h"

#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

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

// A log row as the test wrote it; a count left out is NULL.
struct LoggedRow
{
    QDateTime start;
    std::optional<qint64> sent;
    std::optional<qint64> received;
};

// The logged volume of the rows that start strictly after windowStart, worked out here row by
// row: a row missing a count adds nothing, as in SQL; nothing when no row adds.
std::optional<double> expectedMB(const std::vector<LoggedRow> &rows, const QDateTime &windowStart)
{
    std::optional<qint64> sum;
    for (const LoggedRow &row : rows) {
        if (row.start > windowStart && row.sent && row.received)
            sum = sum.value_or(0) + *row.sent + *row.received;
    }
    if (!sum)
        return std::nullopt;
    return double(*sum) / MB;
}

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

        QTest::newRow("nothing used") << 1000.0 << 0.0 << 0.0 << u"1000 MB (100,0 %) Left."_s << QChar(u'G');
        QTest::newRow("no digit grouping") << 5000.0 << 1000.0 << 766.0 << u"3234 MB (64,7 %) Left."_s << QChar(u'G');
        QTest::newRow("red") << 1000.0 << 600.0 << 300.0 << u"100 MB (10,0 %) Left."_s << QChar(u'R');
        QTest::newRow("exactly used up") << 1000.0 << 1000.0 << 0.0 << u"0 MB Left."_s << QChar(u'R');
        QTest::newRow("over") << 1000.0 << 1000.0 << 20.0 << u"-20 MB Left."_s << QChar(u'R');
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
        // Steps of one run against 1000 MB: the MB used at each poll, whether the sound option is
        // on at that poll, the colours after each poll and the sounds played over all of them.
        QTest::addColumn<QList<int>>("usedMB");
        QTest::addColumn<QString>("soundOption");
        QTest::addColumn<QString>("colours");
        QTest::addColumn<QStringList>("sounds");

        const QStringList at15 {u"15Percent.wav"_s};
        const QStringList at30 {u"30Percent.wav"_s};
        QTest::newRow("31 % to 14 %: only the 15 % sound") << QList<int> {690, 860} << u"11"_s << u"GR"_s << at15;
        // The first poll sets orange silently; 30.0 % left is green again, 15.0 % still orange.
        QTest::newRow("each sound once") << QList<int> {701, 720, 700, 701, 850, 851, 900} << u"1111111"_s
                                         << u"OOGOORR"_s << at30 + at15;
        QTest::newRow("used up from green: red, silent")
            << QList<int> {690, 1020, 860} << u"111"_s << u"GRR"_s << QStringList();
        QTest::newRow("option off, then on for the 15 % crossing")
            << QList<int> {690, 710, 860} << u"001"_s << u"GOR"_s << at15;
        QTest::newRow("climbing back silently, then crossing again") << QList<int> {690, 710, 500, 710, 860, 750,
            860} << u"1111111"_s << u"GOGOROR"_s << at30 + at30 + at15 + at15;
    }

    void soundsOncePerCrossing()
    {
        QFETCH(QList<int>, usedMB);
        QFETCH(QString, soundOption);
        QFETCH(QString, colours);
        QFETCH(QStringList, sounds);
        Rig rig;
        // Without a player, the same colours and nothing to play on.
        VolumeLeftText silent(rig.db.path(), rig.clock, rig.counters, rig.settings, nullptr, rig.soundFolder);
        for (int i = 0; i < usedMB.size(); ++i) {
            rig.settings.playWavState = soundOption.at(i) == u'1' ? 1 : 0;
            rig.setRunMB(usedMB.at(i));
            rig.monitor();
            silent.text(1000, 1, u"0"_s, rig.cache, true, 1);
            QCOMPARE(rig.volume.alert(), alertOf(colours.at(i)));
            QCOMPARE(silent.alert(), rig.volume.alert());
        }
        for (QString &name : sounds)
            name.prepend(rig.soundFolder + u'/');
        QCOMPARE(rig.player.played, sounds);
    }

    void colourUntouchedWithoutAlertsOrAllowance()
    {
        Rig rig;
        rig.setRunMB(690);
        rig.monitor();
        // From green to below 15 % and to used up: neither the options dialog's preview, which has
        // alerts off, nor the monitor without an allowance changes the colour or plays a sound.
        double previewCache = 0;
        for (int used : {860, 1020}) {
            rig.setRunMB(used);
            QVERIFY(!rig.volume.text(1000, 1, u"0"_s, previewCache, false, 1).isEmpty());
            QCOMPARE(rig.monitor(0), QString());
            QCOMPARE(rig.monitor(-1), QString());
            QCOMPARE(rig.volume.alert(), VolumeAlert::Green);
        }
        QCOMPARE(rig.player.played, QStringList());
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
        QTest::newRow("start day 15 on the 20th") << at9(2026, 6, 20) << u"2"_s << 1 << 15 << midnight(2026, 5, 15);
        QTest::newRow("start day 15 on the 15th") << at9(2026, 6, 15) << u"2"_s << 1 << 15 << midnight(2026, 5, 15);
        QTest::newRow("start day 15 on the 14th") << at9(2026, 6, 14) << u"2"_s << 1 << 15 << midnight(2026, 4, 15);
        QTest::newRow("start day 15 in January") << at9(2026, 1, 10) << u"2"_s << 1 << 15 << midnight(2025, 11, 15);
        // Counted from 30 April, the last day of the month before; one month before it is 30 March.
        QTest::newRow("start day 31 on 10 May") << at9(2026, 5, 10) << u"2"_s << 1 << 31 << midnight(2026, 3, 30);
        QTest::newRow("two months from the 1st") << at9(2026, 6, 20) << u"2"_s << 2 << 1 << midnight(2026, 4, 1);
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

        QDateTime shown;
        rig.volume.text(1000, periodLength, periodType, rig.cache, true, qint16(startDay), &shown);
        QCOMPARE(rig.cache, 2.0);
        QCOMPARE(shown, windowStart);
    }

    void databaseAskedOnlyWithoutCache()
    {
        Rig rig;
        // Marker rows (all zeros) sum to 0, which is no cached volume: the next call asks again.
        rig.addLogRow(u"2026-12-09 00:00:00"_s, 0);
        QCOMPARE(rig.monitor(), u"1000 MB (100,0 %) Left."_s);
        QCOMPARE(rig.cache, 0.0);
        rig.addLogRow(u"2026-12-08 10:00:00"_s, 300);
        QCOMPARE(rig.monitor(), u"700 MB (70,0 %) Left."_s);

        // Rows written later are not seen while the cache holds...
        rig.addLogRow(u"2026-12-09 10:00:00"_s, 100);
        rig.setRunMB(50);
        QCOMPARE(rig.monitor(), u"650 MB (65,0 %) Left."_s);
        // ...until the cache is cleared, as the poll does after writing a row.
        rig.cache = 0;
        QCOMPARE(rig.monitor(), u"550 MB (55,0 %) Left."_s);
        QCOMPARE(rig.cache, 400.0);

        // With the database gone, the text still comes from the cache.
        QVERIFY(QFile::remove(rig.db.path()));
        rig.setRunMB(60);
        QCOMPARE(rig.monitor(), u"540 MB (54,0 %) Left."_s);
    }

    void unreadableDatabaseCountsAsNothingLogged_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("missing file") << false;
        QTest::newRow("locked by another program") << true;
    }

    void unreadableDatabaseCountsAsNothingLogged()
    {
        QFETCH(bool, locked);
        Rig rig;
        rig.addLogRow(u"2026-12-09 10:00:00"_s, 300);
        rig.setRunMB(100);
        StoreSession holder(rig.db.path());
        if (locked)
            QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));
        else
            QVERIFY(QFile::remove(rig.db.path()));

        // One warning for the outage, however many polls it lasts.
        const QRegularExpression warning(u"logged volume not read"_s);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QTest::failOnWarning(warning);
        for (int poll = 0; poll < 2; ++poll) {
            QCOMPARE(rig.monitor(), u"900 MB (90,0 %) Left."_s);
            QCOMPARE(rig.cache, 0.0);
        }
        if (locked) {
            holder.rollback();
            QCOMPARE(rig.monitor(), u"600 MB (60,0 %) Left."_s);
            QCOMPARE(rig.cache, 300.0);
        }
    }

    void periodLengthOutOfRange_data()
    {
        // Rows of 1 MB today after midnight, 2 MB yesterday and 4 MB in 1990; days from today.
        QTest::addColumn<int>("periodLength");
        QTest::addColumn<double>("logged");
        QTest::addColumn<int>("daysBack"); // of the window's start shown to the options dialog

        QTest::newRow("-5: from today's midnight") << -5 << 1.0 << 0;
        QTest::newRow("lowest 32-bit number") << int(std::numeric_limits<qint32>::min()) << 1.0 << 0;
        QTest::newRow("1: yesterday too") << 1 << 3.0 << 1;
        // About a thousand years back: every row counts, and the date stays on the calendar.
        QTest::newRow("highest 32-bit number") << int(std::numeric_limits<qint32>::max()) << 7.0 << 365000;
    }

    void periodLengthOutOfRange()
    {
        QFETCH(int, periodLength);
        QFETCH(int, daysBack);
        Rig rig;
        rig.addLogRow(u"2026-12-09 00:00:01"_s, 1);
        rig.addLogRow(u"2026-12-08 12:00:00"_s, 2);
        rig.addLogRow(u"1990-01-01 12:00:00"_s, 4);

        const QString query = VolumeLeftText::loggedVolumeQuery(u"d"_s, periodLength, rig.clock.now().date());
        QVERIFY2(!query.contains(u"--"_s), qPrintable(query));
        QTest::failOnWarning(QRegularExpression(u"logged volume not read"_s));
        QDateTime shown;
        rig.volume.text(1000, periodLength, u"0"_s, rig.cache, false, 1, &shown);
        QTEST(rig.cache, "logged");
        QCOMPARE(shown, rig.clock.now().addDays(-daysBack));
    }

    void loggedVolumeAsTheLogSumsIt()
    {
        // Three years of log with gaps: rows at exactly 00:00:00, which the window's first day
        // leaves out and every later day counts, markers (all zeros), and now and then a row
        // without one count or both, which adds nothing to the sum while the other count is in
        // its day's totals.
        QRandomGenerator random(20261207);
        std::vector<LoggedRow> rows;
        const auto count = [&random]() -> std::optional<qint64> {
            if (random.bounded(40) == 0)
                return std::nullopt;
            return qint64(random.bounded(2'000'000'000));
        };
        for (QDate day(2024, 1, 1); day <= QDate(2026, 12, 20); day = day.addDays(1)) {
            if (random.bounded(6) == 0)
                continue;
            if (random.bounded(3) == 0)
                rows.push_back({QDateTime(day, QTime(0, 0)), count(), count()});
            if (random.bounded(4) == 0)
                rows.push_back({QDateTime(day, QTime(0, 0)).addSecs(random.bounded(2) * 3600), 0, 0});
            for (int n = int(random.bounded(4)); n > 0; --n)
                rows.push_back({QDateTime(day, QTime(0, 0)).addSecs(1 + random.bounded(86399)), count(), count()});
        }
        Rig rig;
        for (qsizetype first = 0; first < qsizetype(rows.size()); first += 400) {
            QString values;
            for (qsizetype i = first; i < std::min(first + 400, qsizetype(rows.size())); ++i) {
                const LoggedRow &row = rows[size_t(i)];
                values += (values.isEmpty() ? u""_s : u","_s)
                    + u"('%1','%1',%2,%3,0)"_s.arg(row.start.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                        row.sent ? QString::number(*row.sent) : u"NULL"_s,
                        row.received ? QString::number(*row.received) : u"NULL"_s);
            }
            rig.db.exec(u"insert into Log values "_s + values);
        }

        // Windows of days, weeks and months from random days, the start day of the month at
        // random, each worked out on the calendar: the start of its first day.
        struct Window
        {
            QString periodType;
            qint32 length;
            qint16 startDay;
            QDate today;
        };
        std::vector<Window> windows {{u"2"_s, 0, 1, {2026, 12, 1}}, {u"0"_s, 0, 1, {2026, 12, 20}},
            {u"2"_s, 40, 31, {2026, 12, 20}}, {u"2"_s, 1, 31, {2026, 3, 10}}};
        for (int i = 0; i < 40; ++i) {
            // Up to about three years back of days, weeks or months.
            constexpr quint32 longest[] = {1200, 170, 40};
            const int type = int(random.bounded(3));
            windows.push_back({QString::number(type), qint32(random.bounded(longest[type])),
                qint16(1 + random.bounded(31)), QDate(2024, 1, 1).addDays(random.bounded(1085))});
        }
        const auto check = [&](const QString &when) {
            for (const Window &window : windows) {
                const QString code = VolumeLeftText::intervalCode(window.periodType);
                const QDate reference = VolumeLeftText::referenceDate(code, window.today, window.startDay);
                const QDate first = code == u"m"_s
                    ? reference.addMonths(-window.length)
                    : reference.addDays(-qint64(window.length) * (code == u"ww"_s ? 7 : 1));
                const std::optional<double> expected = expectedMB(rows, QDateTime(first, QTime(0, 0)));

                StoreSession session(rig.db.path());
                QVERIFY(session.open());
                const std::optional<QueryResult> result
                    = VolumeLeftText::queryLoggedVolume(session, code, window.length, reference);
                QVERIFY2(result, qPrintable(session.errorString()));
                const QVariant logged = result->value(0, u"LoggedVolume"_s);
                if (logged.isNull() != !expected || (expected && logged.toDouble() != *expected)) {
                    QFAIL(qPrintable(u"%1, %2: %3 %4 from %5 (counted back from %6): %7 MB, row by row %8 MB"_s.arg(
                        when, QLocale().name(), QString::number(window.length), code, first.toString(Qt::ISODate),
                        reference.toString(Qt::ISODate),
                        logged.isNull() ? u"NULL"_s : QString::number(logged.toDouble(), 'f', 6),
                        expected ? QString::number(*expected, 'f', 6) : u"NULL"_s)));
                }
            }
        };
        // The date literal and the numbers of the query are the same under every locale.
        const auto german = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); });
        for (const QString &name : {u"en_US"_s, u"de_DE"_s, u"fr_CA"_s}) {
            QLocale::setDefault(QLocale(name));
            check(u"inserted"_s);
            if (QTest::currentTestFailed())
                return;
        }

        // A database made before the per-day totals, read by the report without a start-up:
        // its log is summed row by row.
        rig.db.exec(u"drop trigger LogPerDayInsert; drop trigger LogPerDayDelete; drop trigger LogPerDayUpdate; "
                    u"drop table LogPerDay"_s);
        check(u"without per-day totals"_s);
    }

    void sameLoggedVolumeUnderEveryLocale()
    {
        // One month from the 15th on 9 December: rows after 15 October 00:00 count (2 + 4 MB).
        Rig rig;
        rig.addLogRow(u"2026-10-15 00:00:00"_s, 1);
        rig.addLogRow(u"2026-10-15 00:00:01"_s, 2);
        rig.addLogRow(u"2026-12-09 08:00:00"_s, 4);
        rig.addLogRow(u"2026-09-01 12:00:00"_s, 8);
        const QList<QLocale> locales
            = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(locales.size() > 300);
        QTest::failOnWarning(QRegularExpression(u"logged volume not read"_s));
        for (const QLocale &locale : locales) {
            QLocale::setDefault(locale);
            rig.cache = 0;
            rig.volume.text(1000, 1, u"2"_s, rig.cache, false, 15);
            if (rig.cache != 6.0)
                QFAIL(qPrintable(u"%1: %2 MB logged"_s.arg(locale.name()).arg(rig.cache)));
        }
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
};

QTEST_GUILESS_MAIN(TestVolumeLeftText)
#include "tst_volumelefttext.moc"
