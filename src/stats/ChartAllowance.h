// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class StatsGrid;
struct AllowanceStatus;

// What the statistics chart shows of the allowance on a volume view: its line, the current
// period's projected end and the forecast under the chart, all in the view's unit.
struct ChartAllowance
{
    // The allowance's line: on the view of the period type the allowance tracks (days, weeks,
    // months); a window of N periods gets its even share, the allowance ÷ N. 0: no line.
    double line = 0;
    QString lineLabel;
    // The last row's total at the end of its period at the pace so far, when that row is the
    // current period; below 0: none.
    double projected = -1;
    // The forecast as `varnolt-report status` gives it; empty: none.
    QString forecast;

    bool isEmpty() const { return line <= 0 && projected < 0 && forecast.isEmpty(); }

    // Nothing without an allowance or on a speed view.
    static ChartAllowance make(const StatsGrid &grid, int view, const AllowanceStatus &status);
    // "At this pace: 71 GB of 80 GB by 1 Jan", "At this pace it runs out on 28 Dec (80 GB)" or
    // "Ran out on 7 Dec (80 GB)", with MB ÷ mbPerUnit in unit.
    static QString forecastText(const AllowanceStatus &status, double mbPerUnit, const QString &unit);
};
