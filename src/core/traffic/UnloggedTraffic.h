// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QDateTime>

struct RunCounters;

// The traffic of the open row, which the log holds only once the row is written, and the row
// of a period view it is then counted in: the period of the day the row started (a row still
// open just after midnight is closed at the end of its own day), or of today before the run's
// first sample. Whoever shows a period view adds it there, so that the current period counts
// what the monitor counts.
struct UnloggedTraffic
{
    // The four period views, in the order the export and the statistics number them.
    enum Period { Day, Week, Month, Year };

    qint64 key = 0; // the view's ddate for that period
    double kbDown = 0; // KB of 1024 bytes
    double kbUp = 0;
    double avgDown = 0; // kB/s over the row: what the row will add to the view as its average

    bool isEmpty() const { return !(kbDown > 0 || kbUp > 0); }

    static UnloggedTraffic of(const RunCounters &run, Period period, const QDateTime &now);
    // The ddate of the period a day falls in: yyyymmdd, ISO week-year × 100 + ISO week (1 January
    // may lie in week 53 of the year before), yyyymm or yyyy.
    static qint64 periodKey(Period period, const QDate &day);
};
