// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/traffic/RunCounters.h"
#include "stats/StatsGrid.h"

#include <QLocale>
#include <QTest>

#include <functional>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

constexpr double MiB = 1024.0 * 1024;
constexpr double GiB = 1024 * MiB;
const QDateTime Now(QDate(2026, 12, 6), QTime(17, 29, 47)); // a Sunday, ISO week 2026-W49

// Bytes written as "3M" or "2G" (the binary units the views divide by), or plain.
double bytes(const QString &text)
{
    const double unit = text.endsWith(u'G') ? GiB : text.endsWith(u'M') ? MiB : 1;
    return (unit == 1 ? text : text.chopped(1)).toDouble() * unit;
}

// A log as "start|sent|received|average;..."; the views count a row in the period it starts in.
void insertLog(const TestDatabase &db, const QString &log)
{
    for (const QString &row : log.split(u';', Qt::SkipEmptyParts)) {
        const QStringList f = row.split(u'|');
        db.exec(u"INSERT INTO Log VALUES('%1','%1',%2,%3,%4)"_s.arg(f[0])
                    .arg(bytes(f[1]), 0, 'f', 0)
                    .arg(bytes(f[2]), 0, 'f', 0)
                    .arg(f.value(3, u"0"_s)));
    }
}

// One row per period, the first sending 1 GiB, each next one 1 GiB more; each receives 1 GiB.
QString periodicLog(const QDate &first, int count, const std::function<QDate(QDate, int)> &step)
{
    QStringList log;
    for (int i = 0; i < count; ++i)
        log << step(first, i).toString(u"yyyy-MM-dd 12:00:00"_s) + u"|%1G|1G"_s.arg(i + 1);
    return log.join(u';');
}

// The rows periodicLog gives, from the period that sent `sent` GiB on: "label|sent|1|sent + 1".
QString risingRows(const QString &labels, int sent)
{
    QStringList rows;
    for (const QString &label : labels.split(u','))
        rows << u"%1|%2|1|%3"_s.arg(label).arg(sent).arg(sent + 1), ++sent;
    return rows.join(u", "_s);
}

RunCounters runWithPending(double in, double out)
{
    RunCounters run;
    run.baseIn = 7000;
    run.baseOut = 9000;
    run.curIn = run.baseIn + in;
    run.curOut = run.baseOut + out;
    return run;
}

// The grid as the chart's model mappers read it: the headers, then per row its label and display-role numbers.
QStringList gridText(const StatsGrid &grid)
{
    QStringList series;
    for (int column = 0; column < grid.columnCount(); ++column)
        series << grid.headerData(column, Qt::Horizontal).toString();
    QStringList lines {series.join(u'|')};
    for (int row = 0; row < grid.rowCount(); ++row) {
        QStringList fields {grid.headerData(row, Qt::Vertical).toString()};
        for (int column = 0; column < grid.columnCount(); ++column)
            fields << QLocale::c().toString(
                grid.data(grid.index(row, column)).toDouble(), 'g', QLocale::FloatingPointShortest);
        lines << fields.join(u'|');
    }
    return lines;
}

struct ViewCase
{
    int view = StatsGrid::VolumePerDay;
    QString log {};
    QDateTime now = Now;
    double pendingIn = 0; // bytes of the run not yet logged
    double pendingOut = 0;
    bool stacked = false;
    bool kbps = false;
    StatsGrid::Outcome outcome = StatsGrid::Outcome::Filled;
    QString rows {}; // "label|value|value..., ..."
    QString breaking {}; // SQL that breaks the database, or "missing" for a file that is not there
    QString named {}; // what the message of a failure names
    StatsGrid::Span span {}; // a page further back, or a range
    bool older = false; // the view holds periods before the first row
};

// count days of zeros from first on, as rows.
QString zeroDays(const QDate &first, int count)
{
    QStringList rows;
    for (int day = 0; day < count; ++day)
        rows << first.addDays(day).toString(u"dd/MM|0|0|0"_s);
    return rows.join(u", "_s);
}

void addView(const char *name, const ViewCase &data)
{
    QTest::newRow(name) << QVariant::fromValue(data);
}

} // namespace

Q_DECLARE_METATYPE(ViewCase)

class TestStatsGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Day labels follow the locale ("03/12" here); the report's and the chart's tests read the German ones.
    void init() { QLocale::setDefault(QLocale(u"en_US"_s)); }

    void views_data();
    void views();
};

void TestStatsGrid::views_data()
{
    QTest::addColumn<QVariant>("data");
    const auto weeks = [](QDate first, int i) { return first.addDays(7 * i); };
    const auto years = [](QDate first, int i) { return first.addYears(i); };

    addView("days without traffic are rows of zeros",
        {.log = u"2026-12-03 10:00:00|1M|2M|10;2026-12-06 09:00:00|3M|4M|12.5"_s,
            .rows = u"03/12|1|2|3, 04/12|0|0|0, 05/12|0|0|0, 06/12|3|4|7"_s});
    addView("day view reaches back 14 days",
        {.log = u"2026-11-21 23:59:59|1M|0;2026-11-22 00:00:00|2M|0;2026-11-23 10:00:00|0|1M"_s,
            .rows = u"22/11|2|0|2, 23/11|0|1|1"_s,
            .older = true});
    // 14 weeks from 2002-W49 to 2003-W10, across the ISO year's end (2002-12-30 is 2003-W01).
    addView("newest 12 weeks, oldest first",
        {.view = StatsGrid::VolumePerWeek,
            .log = periodicLog(QDate(2002, 12, 2), 14, weeks),
            .now = QDateTime(QDate(2003, 3, 5), QTime(12, 0)),
            .rows = risingRows(u"Wk 51,Wk 52,Wk 01,Wk 02,Wk 03,Wk 04,Wk 05,Wk 06,Wk 07,Wk 08,Wk 09,Wk 10"_s, 3),
            .older = true});
    // One log for all speed views; Kbps are kBps × 8.192. 1 May 2002 is in W18, 3 Feb 2003 in W06, 16 Feb in W07.
    const QString speedLog = u"2002-05-01 08:00:00|1M|1M|5;2003-02-03 08:00:00|1M|1M|10;2003-02-16 23:00:00|1M|1M|20"_s;
    const QList<std::tuple<const char *, int, bool, QString>> speeds {
        {"speed per day, the run's traffic not added", StatsGrid::SpeedPerDay, true, u"16/02|163.84"_s},
        {"speed per week", StatsGrid::SpeedPerWeek, true, u"Wk 18|40.96, Wk 06|81.92, Wk 07|163.84"_s},
        {"speed per month in kBps", StatsGrid::SpeedPerMonth, false, u"05/2002|5, 02/2003|15"_s},
        {"speed per year", StatsGrid::SpeedPerYear, true, u"2002|40.96, 2003|122.88"_s}};
    for (const auto &[name, view, kbps, rows] : speeds) {
        addView(name,
            {.view = view,
                .log = speedLog,
                .now = QDateTime(QDate(2003, 2, 18), QTime(12, 0)),
                .pendingIn = MiB,
                .kbps = kbps,
                .rows = rows,
                .older = view == StatsGrid::SpeedPerDay});
    }

    // The run's traffic not yet logged belongs to the period the clock is in.
    addView("just past midnight: the run's traffic on a new row for today",
        {.log = u"2026-12-05 10:00:00|1M|2M"_s,
            .now = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)),
            .pendingIn = MiB,
            .rows = u"05/12|1|2|3, 06/12|0|1|1"_s});
    addView("a day without traffic before the run's",
        {.log = u"2026-12-04 10:00:00|1M|2M"_s,
            .pendingOut = 2 * MiB,
            .rows = u"04/12|1|2|3, 05/12|0|0|0, 06/12|2|0|2"_s});
    addView(
        "no traffic of the run, no row for today", {.log = u"2026-12-05 10:00:00|1M|2M"_s, .rows = u"05/12|1|2|3"_s});
    addView("this month logged: the run's traffic added to it",
        {.view = StatsGrid::VolumePerMonth,
            .log = u"2026-11-10 08:00:00|1G|1G;2026-12-02 08:00:00|1G|0"_s,
            .pendingOut = GiB,
            .rows = u"11/2026|1|1|2, 12/2026|2|0|2"_s});
    // 1 January 2027 is a Friday of ISO week 2026-W53, which began on 28 December.
    addView("1 January in the ISO week of the year before",
        {.view = StatsGrid::VolumePerWeek,
            .log = u"2026-12-28 10:00:00|1G|0"_s,
            .now = QDateTime(QDate(2027, 1, 1), QTime(10, 0)),
            .pendingOut = GiB,
            .rows = u"Wk 53|2|0|2"_s});
    addView("a new year keeps the newest 12",
        {.view = StatsGrid::VolumePerYear,
            .log = periodicLog(QDate(2015, 3, 1), 12, years),
            .now = QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)),
            .pendingIn = GiB,
            .rows = risingRows(u"2016,2017,2018,2019,2020,2021,2022,2023,2024,2025,2026"_s, 2) + u", 2027|0|1|1"_s,
            .older = true});

    // Pages further back hold whole periods, in time order, and the run's traffic stays on the newest page.
    const QString dayLog = u"2026-11-05 10:00:00|1M|0;2026-11-08 10:00:00|2M|1M;2026-11-21 23:59:59|0|3M;"
                           u"2026-12-06 09:00:00|5M|5M"_s;
    addView("page 1: the 15 days before, whole",
        {.log = dayLog,
            .pendingIn = MiB,
            .rows = u"07/11|0|0|0, 08/11|2|1|3, "_s + zeroDays(QDate(2026, 11, 9), 12) + u", 21/11|0|3|3"_s,
            .span = {.page = 1},
            .older = true});
    addView("page 2: the log begins within it",
        {.log = dayLog, .rows = u"05/11|1|0|1, 06/11|0|0|0"_s, .span = {.page = 2}});
    addView("page 1 of years: the 12 before the newest 12",
        {.view = StatsGrid::VolumePerYear,
            .log = periodicLog(QDate(1980, 6, 1), 26, years), // 1980 to 2005
            .now = QDateTime(QDate(2005, 6, 1), QTime(12, 0)),
            .pendingIn = GiB,
            .rows = risingRows(u"1982,1983,1984,1985,1986,1987,1988,1989,1990,1991,1992,1993"_s, 3),
            .span = {.page = 1},
            .older = true});
    // The report's ranges: from the period holding a day (or the log's first), at most so many.
    addView("4 days from before the log's first",
        {.log = dayLog,
            .rows = u"05/11|1|0|1, 06/11|0|0|0, 07/11|0|0|0, 08/11|2|1|3"_s,
            .span = {.since = QDate(2026, 10, 1), .count = 4}});

    // An empty view leaves the grid without the rows it held.
    const auto Empty = StatsGrid::Outcome::Empty;
    addView("empty: day view, nothing in the last 15 days",
        {.log = u"2026-11-21 23:59:59|1M|1M"_s, .outcome = Empty, .older = true});
    addView("empty: speed view, only the run's traffic",
        {.view = StatsGrid::SpeedPerDay, .pendingIn = MiB, .outcome = Empty});
    addView("empty: week view of an empty log", {.view = StatsGrid::VolumePerWeek, .stacked = true, .outcome = Empty});

    // A failure leaves the grid without the rows it held, too, and its message names the cause.
    const auto Failed = StatsGrid::Outcome::Failed;
    addView("missing database file", {.outcome = Failed, .breaking = u"missing"_s, .named = u"absent.db"_s});
    addView("missing day view",
        {.view = StatsGrid::SpeedPerDay,
            .outcome = Failed,
            .breaking = u"DROP VIEW DownloadPerDay"_s,
            .named = u"view DownloadPerDay"_s});
    addView("a view index past the list", {.view = StatsGrid::ViewCount, .outcome = Failed, .named = u"view 8"_s});
}

void TestStatsGrid::views()
{
    QFETCH(QVariant, data);
    const ViewCase c = data.value<ViewCase>();
    const FakeClock clock(c.now);
    StatsGrid grid(clock);
    // Rows of an earlier fill, which the new one replaces.
    TestDatabase earlier;
    insertLog(earlier, c.now.toString(u"yyyy-MM-dd 00:00:00"_s) + u"|1M|1M|10"_s);
    QCOMPARE(grid.fill(earlier.path(), StatsGrid::VolumePerYear, false, false, {}), StatsGrid::Outcome::Filled);
    QCOMPARE(grid.rowCount(), 1);

    TestDatabase db;
    insertLog(db, c.log);
    QString path = db.path();
    if (c.breaking == u"missing"_s)
        path = db.folder() + u"/absent.db"_s;
    else if (!c.breaking.isEmpty())
        db.exec(c.breaking);
    QCOMPARE(grid.fill(path, c.view, c.stacked, c.kbps, runWithPending(c.pendingIn, c.pendingOut), c.span), c.outcome);
    if (c.outcome == StatsGrid::Outcome::Failed) {
        QVERIFY2(grid.errorString().contains(c.named, Qt::CaseInsensitive), qPrintable(grid.errorString()));
        QCOMPARE(grid.rowCount(), 0);
        return;
    }

    // The series a user reads in the chart's legend: a speed, or the volumes with Total unless stacked.
    QStringList expected {c.view >= StatsGrid::SpeedPerDay ? u"Avg Down"_s
            : c.stacked                                    ? u"Upload|Download"_s
                                                           : u"Upload|Download|Total"_s};
    if (!c.rows.isEmpty())
        expected += c.rows.split(u", "_s);
    QCOMPARE(gridText(grid), expected);
    QCOMPARE(grid.hasOlder(), c.older);
}

QTEST_GUILESS_MAIN(TestStatsGrid)
#include "tst_statsgrid.moc"
