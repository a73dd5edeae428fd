// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/MetricsReport.h"

#include "core/Clock.h"
#include "report/PeriodReport.h"
#include "report/ReportSource.h"
#include "report/StatusReport.h"

#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr double BytesPerMB = 1024.0 * 1024.0;
constexpr int Attempts = 3;

// The log's rows as far as a close or a reset changes them, and the open row's start.
std::optional<QString> fingerprint(ReportSource &source)
{
    const std::optional<QueryResult> log
        = source.session().queryNative(u"SELECT count(*) AS n, max(rowid) AS last FROM Log"_s);
    if (!log)
        return std::nullopt;
    return log->value(0, u"n"_s).toString() + u'|' + log->value(0, u"last"_s).toString() + u'|'
        + source.openRow().rowStart.toString(Qt::ISODate);
}

bool read(ReportSource &source, const Clock &clock, MetricsData &data, QString &error)
{
    const QDate today = clock.now().date();
    data.periods.clear();
    for (int view = 0; view < 4; ++view) {
        const std::optional<PeriodTable> table = PeriodReport::make(source, clock, view, 0, error);
        if (!table)
            return false;
        MetricsData::Period period {table->view, MetricsReport::firstDay(view, today)};
        // The views give MB (days) or GB of 1024 × 1024 and 1024³ bytes; a current period
        // the log has no row for holds nothing yet.
        const double bytes = view == 0 ? BytesPerMB : BytesPerMB * 1024;
        const qsizetype row = table->firstDays.lastIndexOf(period.firstDay);
        if (row >= 0) {
            period.uploadBytes = table->rows.at(row).value(0) * bytes;
            period.downloadBytes = table->rows.at(row).value(1) * bytes;
            period.totalBytes = table->rows.at(row).value(2) * bytes;
        }
        data.periods << period;
    }
    const std::optional<StatusData> status = StatusReport::make(source, clock, error);
    if (!status)
        return false;
    data.status = *status;
    const RunCounters &run = source.openRow();
    data.openUploadBytes = run.rowBytesOut();
    data.openDownloadBytes = run.rowBytesIn();
    data.openRowStart = run.rowStart;
    const Settings &settings = source.settings();
    data.router = !settings.routerUrl.isEmpty();
    if (data.router)
        data.routerName = settings.routerName.isEmpty() ? QUrl(settings.routerUrl).host() : settings.routerName;
    return true;
}

} // namespace

QDate MetricsReport::firstDay(int view, const QDate &today)
{
    switch (view) {
    case 1:
        return today.addDays(1 - today.dayOfWeek());
    case 2:
        return QDate(today.year(), today.month(), 1);
    case 3:
        return QDate(today.year(), 1, 1);
    default:
        return today;
    }
}

std::optional<MetricsData> MetricsReport::make(ReportSource &first, const Clock &clock, QString &error)
{
    ReportSource *source = &first;
    std::unique_ptr<ReportSource> held; // the source of the attempt after a first
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        MetricsData data;
        const std::optional<QString> before = fingerprint(*source);
        if (!before) {
            error = source->session().errorString().section(u'\n', 0, 0);
            return std::nullopt;
        }
        if (!read(*source, clock, data, error))
            return std::nullopt;
        // A fresh read of the journal and the log: the same row still open, no row added.
        auto again = std::make_unique<ReportSource>(first.databasePath());
        const std::optional<QString> after = again->open() ? fingerprint(*again) : std::nullopt;
        if (!after) {
            error = again->errorString().isEmpty() ? again->session().errorString().section(u'\n', 0, 0)
                                                   : again->errorString();
            return std::nullopt;
        }
        if (*after == *before)
            return data;
        held = std::move(again);
        source = held.get();
    }
    error = u"The log changed each time it was read (%1 times); try again."_s.arg(Attempts);
    return std::nullopt;
}
