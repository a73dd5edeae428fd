// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportData.h"

#include <optional>

class Clock;
class ReportSource;

// The allowance as the monitor shows it (its volume-left line, alerts off), the use of the
// current window and where that use is heading.
class StatusReport final
{
public:
    static std::optional<StatusData> make(ReportSource &source, const Clock &clock, QString &error);

    // At the pace of the window so far (used ÷ the time since its start): when the allowance
    // runs out, if that is before the window's end, and the volume expected at the end.
    static Forecast forecast(
        const QDateTime &start, const QDateTime &end, const QDateTime &now, double usedMB, double allowanceMB);
    // When the window's start next moves on: the next start day for monthly windows; the next
    // midnight for day and week windows, which slide forward a day at a time.
    static QDateTime windowEnd(const QString &intervalCode, const QDate &today, int startDay);
};
