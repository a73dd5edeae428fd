// SPDX-License-Identifier: GPL-3.0-or-later
// Times the logged volume of an allowance on ten years of traffic log: the query as the monitor
// runs it after each written row (a connection of its own, the per-day totals and the log's
// rows of the window's first day) next to the log summed row by row.
// Usage: bench_volumeleft [locale] [runs]   e.g. bench_volumeleft de_DE 51

#include "core/Clock.h"
#include "core/Settings.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/VolumeLeftText.h"

#include "TenYearLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

class FixedClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 20), QTime(13, 45, 10)); }
    qint64 monotonicMsecs() const override { return 0; }
};

double threadCpuMs()
{
    timespec time {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) * 1e3 + double(time.tv_nsec) / 1e6;
}

// Wall-clock median and worst, and the worst of the thread's own processor time: on a machine
// shared with other work the wall clock's worst is mostly time spent waiting for a core.
struct Timing
{
    double median = -1;
    double worst = -1;
    double worstCpu = -1;
};

Timing measure(int runs, const std::function<bool()> &work)
{
    QList<double> times;
    double worstCpu = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        const double cpu = threadCpuMs();
        timer.start();
        if (!work())
            return {};
        times.append(double(timer.nsecsElapsed()) / 1e6);
        worstCpu = std::max(worstCpu, threadCpuMs() - cpu);
    }
    std::sort(times.begin(), times.end());
    return {times.at(times.size() / 2), times.last(), worstCpu};
}

// One call as VolumeLeftText makes it: its own connection, the query, the connection closed.
std::optional<double> loggedMB(const QString &path, const QString &statement)
{
    StoreSession session(path);
    if (!session.open())
        return std::nullopt;
    const std::optional<QueryResult> result = session.query(statement);
    if (!result) {
        std::fprintf(stderr, "%s\n", qPrintable(session.errorString()));
        return std::nullopt;
    }
    return result->value(0, u"LoggedVolume"_s).toDouble();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = TenYearLog::localeAndRuns(app.arguments(), 31);
    // The row-by-row sum takes about a second on the whole log: fewer runs of it.
    const int rowByRowRuns = std::max(1, runs / 5);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"Varnolt.db"_s);
    const std::optional<int> rows = TenYearLog::createIn(dir, path);
    if (!rows)
        return 1;
    const int rowCount = *rows;
    std::printf("log: %d rows, %s to %s; locale %s\n", rowCount, qPrintable(TenYearLog::first().toString(Qt::ISODate)),
        qPrintable(TenYearLog::last().toString(Qt::ISODate)), qPrintable(QLocale().name()));

    // Months counted from the 15th on 20 December 2026: 12 months reach back to 15 December
    // 2025, 365 months past the log's start.
    const QDate reference(2026, 12, 15);
    bool ok = true;
    for (const int months : {1, 12, 120, 365}) {
        const QString dayTotals = VolumeLeftText::loggedVolumeQuery(u"m"_s, months, reference);
        const QString rowByRow = VolumeLeftText::loggedVolumeQuery(u"m"_s, months, reference, false);
        const std::optional<double> fromTotals = loggedMB(path, dayTotals);
        const std::optional<double> fromRows = loggedMB(path, rowByRow);
        if (!fromTotals || !fromRows || *fromTotals != *fromRows) {
            std::fprintf(stderr, "%d months: %.6f MB from the day totals, %.6f MB row by row\n", months,
                fromTotals.value_or(-1), fromRows.value_or(-1));
            ok = false;
            continue;
        }
        const Timing after = measure(runs, [&] { return loggedMB(path, dayTotals).has_value(); });
        const Timing before = measure(rowByRowRuns, [&] { return loggedMB(path, rowByRow).has_value(); });
        std::printf("%3d months (%.0f MB): day totals %6.2f ms median, %6.2f worst, %6.2f worst CPU (%d runs); "
                    "row by row %7.2f ms median, %7.2f worst, %7.2f worst CPU (%d runs)\n",
            months, *fromTotals, after.median, after.worst, after.worstCpu, runs, before.median, before.worst,
            before.worstCpu, rowByRowRuns);
    }

    // The whole call the monitor makes after a written row: the database asked, the text made.
    FixedClock clock;
    RunCounters counters;
    Settings settings;
    VolumeLeftText volumeLeft(path, clock, counters, settings, nullptr, QString());
    const Timing call = measure(runs, [&] {
        double cache = 0;
        return !volumeLeft.text(1e9, 365, u"2"_s, cache, false, 15).isEmpty() && cache > 0;
    });
    std::printf("VolumeLeftText::text, 365 months, empty cache: %.2f ms median, %.2f worst, %.2f worst CPU\n",
        call.median, call.worst, call.worstCpu);
    return ok && call.median >= 0 ? 0 : 1;
}
