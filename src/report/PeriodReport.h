// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportData.h"

#include <QDate>

#include <optional>

class Clock;
class ReportSource;

// A volume view of the statistics window (unstacked: Upload, Download, Total), filled by the
// window's own grid, with the open row of a running Varnolt in the current period.
class PeriodReport final
{
public:
    // view: 0 per day, 1 per week, 2 per month, 3 per year. limit: the newest periods, as
    // far back as the log goes (0: the window's newest page); since (when valid): from the
    // period holding that day, limit periods at most.
    static std::optional<PeriodTable> make(
        ReportSource &source, const Clock &clock, int view, int limit, QString &error, const QDate &since = {});
};
