// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/ChartAllowance.h"

#include "core/traffic/AllowanceStatus.h"
#include "stats/StatsGrid.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

// 71 GB, 7.5 GB, 0.25 GB: two figures, as a glance at a chart reads them.
QString amount(double value, const QString &unit)
{
    const int decimals = value >= 10 ? 0 : value >= 1 ? 1 : 2;
    return QLocale().toString(value, 'f', decimals) + u' ' + unit;
}

QString dayText(const QDate &day)
{
    return QLocale().toString(day, u"d MMM"_s);
}

// The allowance's interval code that a volume view's rows are periods of; empty for the years.
QString intervalOf(int view)
{
    switch (view) {
    case StatsGrid::VolumePerDay:
        return u"d"_s;
    case StatsGrid::VolumePerWeek:
        return u"ww"_s;
    case StatsGrid::VolumePerMonth:
        return u"m"_s;
    default:
        return {};
    }
}

} // namespace

QString ChartAllowance::forecastText(const AllowanceStatus &status, double mbPerUnit, const QString &unit)
{
    const QString allowance = amount(status.allowanceMB / mbPerUnit, unit);
    if (status.isOver())
        return u"Ran out on %1 (%2)"_s.arg(dayText(status.ranOut), allowance);
    if (status.forecast.runsOut.isValid())
        return u"At this pace it runs out on %1 (%2)"_s.arg(dayText(status.forecast.runsOut.date()), allowance);
    return u"At this pace: %1 of %2 by %3"_s.arg(
        amount(status.forecast.expectedAtEndMB / mbPerUnit, unit), allowance, dayText(status.windowEnd.date()));
}

ChartAllowance ChartAllowance::make(const StatsGrid &grid, int view, const AllowanceStatus &status)
{
    ChartAllowance shown;
    if (status.allowanceMB <= 0 || view < StatsGrid::VolumePerDay || view > StatsGrid::VolumePerYear)
        return shown;
    // The grid holds MB for days, GB (1024 MB) for the longer periods.
    const double mbPerUnit = view == StatsGrid::VolumePerDay ? 1 : 1024;
    const QString unit = StatsGrid::unit(view, false);
    shown.forecast = forecastText(status, mbPerUnit, unit);

    if (intervalOf(view) == status.intervalCode) {
        // The window holds the current period and periodLength before it.
        const qint64 periods = qint64(std::max(status.periodLength, 0)) + 1;
        shown.line = status.allowanceMB / mbPerUnit / double(periods);
        shown.lineLabel = periods == 1 ? u"Allowance %1"_s.arg(amount(shown.line, unit))
                                       : u"Allowance ÷ %1: %2"_s.arg(periods).arg(amount(shown.line, unit));
    }

    const int last = grid.rowCount() - 1;
    const QDate today = status.now.date();
    if (last >= 0 && grid.firstDay(last).isValid() && grid.firstDay(last) <= today && grid.lastDay(last) >= today) {
        double total = 0;
        if (grid.seriesCount() >= 3)
            total = grid.value(last, 2);
        else
            for (int series = 0; series < grid.seriesCount(); ++series)
                total += grid.value(last, series);
        const QDateTime start(grid.firstDay(last), QTime(0, 0));
        const QDateTime end(grid.lastDay(last).addDays(1), QTime(0, 0));
        shown.projected = AllowanceForecast::forecast(start, end, status.now, total, 0).expectedAtEndMB;
    }
    return shown;
}
