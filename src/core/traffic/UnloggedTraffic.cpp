// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/UnloggedTraffic.h"

#include "core/traffic/RunCounters.h"

UnloggedTraffic UnloggedTraffic::of(const RunCounters &run, Period period, const QDateTime &now)
{
    // The row keeps the offset it began in, so its date is the day its traffic is logged on.
    const QDate day = run.rowStart.isValid() ? run.rowStart.date() : now.date();
    return {periodKey(period, day), run.rowBytesIn() / 1024, run.rowBytesOut() / 1024, run.avgDown};
}

qint64 UnloggedTraffic::periodKey(Period period, const QDate &day)
{
    switch (period) {
    case Day:
        return qint64(day.year()) * 10000 + day.month() * 100 + day.day();
    case Week: {
        int year = 0;
        const int week = day.weekNumber(&year);
        return qint64(year) * 100 + week;
    }
    case Month:
        return qint64(day.year()) * 100 + day.month();
    case Year:
        break;
    }
    return day.year();
}
