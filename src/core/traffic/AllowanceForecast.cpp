// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/AllowanceForecast.h"

#include "core/Clock.h"
#include "core/traffic/VolumeLeftText.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double MsecsPerDay = 86'400'000.0;

bool monthly(const QString &intervalCode)
{
    return intervalCode == QLatin1String("m");
}

qint64 daysPerInterval(const QString &intervalCode)
{
    return intervalCode == QLatin1String("ww") ? 7 : 1;
}
} // namespace

QDateTime AllowanceForecast::windowStart(
    const QString &intervalCode, const QDateTime &now, qint32 periodLength, int startDay)
{
    const qint32 intervals = VolumeLeftText::windowIntervals(intervalCode, periodLength);
    if (monthly(intervalCode)) {
        const QDate reference = VolumeLeftText::referenceDate(intervalCode, now.date(), startDay);
        return QDateTime(reference.addMonths(-intervals), QTime(0, 0));
    }
    return addLocalDays(now, -qint64(intervals) * daysPerInterval(intervalCode));
}

QDateTime AllowanceForecast::windowEnd(const QString &intervalCode, const QDate &today, int startDay)
{
    // The first day on which the monitor counts from another reference day; a month and a
    // day at most, whatever the start day.
    const QDate reference = VolumeLeftText::referenceDate(intervalCode, today, startDay);
    QDate day = today.addDays(1);
    while (day < today.addDays(62) && VolumeLeftText::referenceDate(intervalCode, day, startDay) == reference)
        day = day.addDays(1);
    return QDateTime(day, QTime(0, 0));
}

QDate AllowanceForecast::firstDay(const QString &intervalCode, const QDate &today, qint32 periodLength, int startDay)
{
    // As the logged volume's query counts back with dateadd (calendar months, 7-day weeks).
    const qint32 intervals = VolumeLeftText::windowIntervals(intervalCode, periodLength);
    const QDate reference = VolumeLeftText::referenceDate(intervalCode, today, startDay);
    if (monthly(intervalCode))
        return reference.addMonths(-intervals);
    return reference.addDays(-qint64(intervals) * daysPerInterval(intervalCode));
}

Forecast AllowanceForecast::forecast(
    const QDateTime &start, const QDateTime &end, const QDateTime &now, double usedMB, double allowanceMB)
{
    Forecast forecast;
    const double elapsed = double(start.msecsTo(now));
    if (elapsed <= 0 || usedMB <= 0) {
        forecast.expectedAtEndMB = std::max(0.0, usedMB);
        return forecast;
    }
    forecast.paceMBPerDay = usedMB / elapsed * MsecsPerDay;
    forecast.expectedAtEndMB = usedMB / elapsed * double(start.msecsTo(end));
    if (allowanceMB > 0) {
        const QDateTime runsOut = start.addMSecs(qint64(std::llround(elapsed * (allowanceMB / usedMB))));
        if (runsOut <= end)
            forecast.runsOut = runsOut;
    }
    return forecast;
}
