// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/PeriodReport.h"

#include "report/ReportSource.h"
#include "stats/StatsGrid.h"

using namespace Qt::StringLiterals;

std::optional<PeriodTable> PeriodReport::make(
    ReportSource &source, const Clock &clock, int view, int limit, QString &error, const QDate &since)
{
    StatsGrid grid(clock);
    grid.setReadOnly(true);
    grid.setStatementTimeLimit(ReportSource::StatementTimeLimitMs);
    const RunCounters &run = source.openRow();
    StatsGrid::Span span;
    span.since = since;
    span.count = std::max(limit, 0);
    if (grid.fill(source.databasePath(), view, false, false, run, span) == StatsGrid::Outcome::Failed) {
        error = grid.errorString().section(u'\n', 0, 0);
        return std::nullopt;
    }
    PeriodTable table;
    table.view = QStringList {u"day"_s, u"week"_s, u"month"_s, u"year"_s}.value(view);
    table.unit = view == StatsGrid::VolumePerDay ? u"MB"_s : u"GB"_s;
    for (int series = 0; series < grid.seriesCount(); ++series)
        table.series << grid.seriesLabel(series);
    table.total.fill(0, grid.seriesCount());
    for (int row = 0; row < grid.rowCount(); ++row) {
        QList<double> values;
        for (int series = 0; series < grid.seriesCount(); ++series) {
            values << grid.value(row, series);
            table.total[series] += values.last();
        }
        table.labels << grid.rowLabel(row);
        table.firstDays << grid.firstDay(row);
        table.lastDays << grid.lastDay(row);
        table.rows << values;
    }
    table.openRowMB = (run.rowBytesIn() + run.rowBytesOut()) / (1024.0 * 1024.0);
    return table;
}
