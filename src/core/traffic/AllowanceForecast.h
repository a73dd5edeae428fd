// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// Where the allowance's window is heading at the pace it has been used so far.
struct Forecast
{
    double paceMBPerDay = 0;
    double expectedAtEndMB = 0; // the volume at the window's end at that pace
    QDateTime runsOut; // when the allowance is used up within the window; invalid when it lasts
};

// The tracking window's bounds and the forecast of its use, for the report's status and the
// desktop's notices alike.
namespace AllowanceForecast {

// The start of the tracking window as the report shows it: 00:00 of the reference day less
// the months for monthly windows; now less the days or weeks for the sliding ones.
QDateTime windowStart(const QString &intervalCode, const QDateTime &now, qint32 periodLength, int startDay);
// When the window's start next moves on: the next start day for monthly windows; the next
// midnight for day and week windows, which slide forward a day at a time.
QDateTime windowEnd(const QString &intervalCode, const QDate &today, int startDay);
// The first day of the rows the window counts (it holds those that start after its 00:00):
// the same day through a month for monthly windows, one day later each day for sliding ones.
QDate firstDay(const QString &intervalCode, const QDate &today, qint32 periodLength, int startDay);
// At the pace of the window so far (used ÷ the time since its start): when the allowance runs
// out, if that is before the window's end, and the volume expected at the end.
Forecast forecast(
    const QDateTime &start, const QDateTime &end, const QDateTime &now, double usedMB, double allowanceMB);

} // namespace AllowanceForecast
