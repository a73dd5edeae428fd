// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/DayTotals.h"

#include "core/store/DayViewDefinition.h"

using namespace Qt::StringLiterals;

namespace {

// The totals of one log row, ready to be added to its day's row (NEW) or taken from it (OLD).
// A NULL count adds nothing and is not counted, so that a day whose counts are all NULL totals
// NULL, as sum() and avg() do; hence a count of the non-NULL values beside each total.
QString addRow(const QString &row)
{
    return u"INSERT INTO LogPerDay VALUES (substr(%1.DateAndTimeStart, 1, 10), %1.BytesRcvd, %1.BytesSent, "
           u"%1.AvgDownloadSpeed, %1.BytesRcvd IS NOT NULL, %1.BytesSent IS NOT NULL, "
           u"%1.AvgDownloadSpeed IS NOT NULL, ifnull(%1.AvgDownloadSpeed <> 0, 0), 1) "
           u"ON CONFLICT (Day) DO UPDATE SET "
           u"BytesDown = coalesce(BytesDown + excluded.BytesDown, BytesDown, excluded.BytesDown), "
           u"BytesUp = coalesce(BytesUp + excluded.BytesUp, BytesUp, excluded.BytesUp), "
           u"SpeedSum = coalesce(SpeedSum + excluded.SpeedSum, SpeedSum, excluded.SpeedSum), "
           u"DownCount = DownCount + excluded.DownCount, UpCount = UpCount + excluded.UpCount, "
           u"SpeedCount = SpeedCount + excluded.SpeedCount, SpeedNonZero = SpeedNonZero + excluded.SpeedNonZero, "
           u"RowCount = RowCount + 1;"_s.arg(row);
}

QString removeRow(const QString &row)
{
    // Taking a speed off a sum of doubles may leave a trace where the speeds left are all 0;
    // their sum is then set to 0 exactly. A day left without rows goes, so that no view shows
    // an empty day.
    return u"UPDATE LogPerDay SET "
           u"BytesDown = CASE WHEN DownCount > (%1.BytesRcvd IS NOT NULL) THEN BytesDown - ifnull(%1.BytesRcvd, 0) "
           u"END, "
           u"BytesUp = CASE WHEN UpCount > (%1.BytesSent IS NOT NULL) THEN BytesUp - ifnull(%1.BytesSent, 0) END, "
           u"SpeedSum = CASE WHEN SpeedNonZero > ifnull(%1.AvgDownloadSpeed <> 0, 0) "
           u"THEN SpeedSum - ifnull(%1.AvgDownloadSpeed, 0) "
           u"WHEN SpeedCount > (%1.AvgDownloadSpeed IS NOT NULL) THEN 0.0 END, "
           u"DownCount = DownCount - (%1.BytesRcvd IS NOT NULL), UpCount = UpCount - (%1.BytesSent IS NOT NULL), "
           u"SpeedCount = SpeedCount - (%1.AvgDownloadSpeed IS NOT NULL), "
           u"SpeedNonZero = SpeedNonZero - ifnull(%1.AvgDownloadSpeed <> 0, 0), RowCount = RowCount - 1 "
           u"WHERE Day = substr(%1.DateAndTimeStart, 1, 10); "
           u"DELETE FROM LogPerDay WHERE Day = substr(%1.DateAndTimeStart, 1, 10) AND RowCount = 0;"_s.arg(row);
}

// A period view over the days: its key from the day text Day, totals summed over the days.
QString periodView(const QString &key, const QString &days)
{
    return u"SELECT "_s + key
        + u" AS ddate, sum(BytesDown) / 1024.0 AS kbdown, sum(BytesUp) / 1024.0 AS kbup, "
          u"sum(SpeedSum) / sum(SpeedCount) AS avgdown FROM "_s
        + days + u" GROUP BY ddate ORDER BY ddate DESC"_s;
}

} // namespace

QString DayTotals::tableSql()
{
    return u"CREATE TABLE LogPerDay (Day TEXT PRIMARY KEY, BytesDown INTEGER, BytesUp INTEGER, SpeedSum DOUBLE, "
           u"DownCount INTEGER NOT NULL, UpCount INTEGER NOT NULL, SpeedCount INTEGER NOT NULL, "
           u"SpeedNonZero INTEGER NOT NULL, RowCount INTEGER NOT NULL) WITHOUT ROWID"_s;
}

QStringList DayTotals::triggerSql()
{
    return {u"CREATE TRIGGER LogPerDayInsert AFTER INSERT ON Log BEGIN "_s + addRow(u"NEW"_s) + u" END"_s,
        u"CREATE TRIGGER LogPerDayDelete AFTER DELETE ON Log BEGIN "_s + removeRow(u"OLD"_s) + u" END"_s,
        u"CREATE TRIGGER LogPerDayUpdate AFTER UPDATE OF DateAndTimeStart, BytesSent, BytesRcvd, AvgDownloadSpeed "
        u"ON Log BEGIN "_s
            + removeRow(u"OLD"_s) + u' ' + addRow(u"NEW"_s) + u" END"_s};
}

QString DayTotals::fillSql()
{
    return u"INSERT INTO LogPerDay SELECT substr(DateAndTimeStart, 1, 10), sum(BytesRcvd), sum(BytesSent), "
           u"sum(AvgDownloadSpeed), count(BytesRcvd), count(BytesSent), count(AvgDownloadSpeed), "
           u"count(nullif(AvgDownloadSpeed, 0)), count(*) "
           u"FROM Log GROUP BY substr(DateAndTimeStart, 1, 10)"_s;
}

QList<QPair<QString, QString>> DayTotals::views()
{
    // The Thursday of a day's Monday-to-Sunday week lies in the week's ISO year, and its day of
    // that year gives the ISO week number.
    const QString week = u"CAST(strftime('%Y', Thursday) AS INTEGER) * 100 "
                         u"+ (CAST(strftime('%j', Thursday) AS INTEGER) - 1) / 7 + 1"_s;
    return {{u"DownloadPerDay"_s, DayViewDefinition::sqliteText()},
        {u"DownloadPerWeek"_s,
            periodView(week,
                u"(SELECT date(Day, '-3 days', 'weekday 4') AS Thursday, BytesDown, BytesUp, SpeedSum, SpeedCount "
                u"FROM LogPerDay)"_s)},
        {u"DownloadPerMonth"_s,
            periodView(u"CAST(substr(Day, 1, 4) || substr(Day, 6, 2) AS INTEGER)"_s, u"LogPerDay"_s)},
        {u"DownloadPerYear"_s, periodView(u"CAST(substr(Day, 1, 4) AS INTEGER)"_s, u"LogPerDay"_s)}};
}
