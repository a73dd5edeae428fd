// SPDX-License-Identifier: GPL-3.0-or-later
// Times the CSV export of each period view on ten years of traffic log, beside its two parts
// done alone: the view's query and the writing of the file.
// Usage: bench_export [locale] [runs]   e.g. bench_export de_DE 7

#include "core/CsvExport.h"
#include "core/store/StoreSession.h"

#include "TenYearLog.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

struct Timing
{
    double best = -1;
    double median = -1;
};

Timing summary(QList<double> times)
{
    if (times.isEmpty())
        return {};
    std::sort(times.begin(), times.end());
    return {times.first(), times.at(times.size() / 2)};
}

// Milliseconds, or -1 when the work failed.
double timed(const std::function<bool()> &work)
{
    QElapsedTimer timer;
    timer.start();
    return work() ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = TenYearLog::localeAndRuns(app.arguments(), 7);
    constexpr double GoalMs = 250;
    constexpr double GoalRatio = 1.5;

    QTemporaryDir dir;
    const QString path = dir.filePath(u"Varnolt.db"_s);
    const std::optional<int> rows = TenYearLog::createIn(dir, path);
    if (!rows)
        return 1;
    const int rowCount = *rows;
    // As the program runs it: start-up switches the database to WAL mode.
    {
        StoreSession session(path);
        if (!session.open() || !session.queryNative(u"PRAGMA journal_mode=WAL"_s)) {
            std::fprintf(stderr, "%s\n", qPrintable(session.errorString()));
            return 1;
        }
    }
    std::printf("locale %s: %d log rows over ten years, %d runs each, medians (best)\n", qPrintable(QLocale().name()),
        rowCount, runs);
    std::printf("%-10s %8s %18s %18s %18s %7s   goals: export < %.0f ms, ratio <= %.1f\n", "view", "lines",
        "export (ms)", "query (ms)", "write (ms)", "ratio", GoalMs, GoalRatio);

    const char *names[] = {"per day", "per week", "per month", "per year"};
    bool allMet = true;
    for (int view = 0; view < CsvExport::ViewCount; ++view) {
        // The same bytes as the export writes, for the file write alone.
        QBuffer text;
        text.open(QIODevice::WriteOnly);
        if (!CsvExport(path).write(view, text)) {
            std::fprintf(stderr, "cannot make the text of view %d\n", view);
            return 1;
        }
        const QByteArray bytes = text.data();

        // The three in turn at every run, so that a busy moment of the machine weighs on each alike.
        QList<double> exportTimes, queryTimes, writeTimes;
        for (int run = 0; run < runs; ++run) {
            exportTimes << timed([&] {
                CsvExport csv(path);
                // With the running program's open row, as the dialog exports: 400 MB today.
                RunCounters open;
                open.rowStart = withOwnOffset(QDateTime::currentDateTime());
                open.curIn = 400.0 * 1048576;
                csv.setOpenRow(open, open.rowStart);
                // Replacing the file of the run before, as after the user's yes.
                const bool ok = csv.exportTo(ExportTarget::resolve(dir.filePath(u"Varnolt.csv"_s)), view,
                                    dir.filePath(u"fallback.csv"_s))
                    == CsvExport::Outcome::Written;
                if (!ok)
                    std::fprintf(stderr, "export: %s\n", qPrintable(csv.errorString()));
                return ok;
            });
            queryTimes << timed([&] {
                StoreSession session(path);
                const bool ok = session.open() && session.query(CsvExport::query(view));
                if (!ok)
                    std::fprintf(stderr, "query: %s\n", qPrintable(session.errorString()));
                return ok;
            });
            // Written the same whole-or-nothing way, to a file of its own.
            writeTimes << timed([&] {
                QSaveFile file(dir.filePath(u"alone.csv"_s));
                return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
            });
        }
        const auto failedRun = [](const QList<double> &times) { return times.contains(-1.0); };
        const Timing exported = summary(exportTimes);
        const Timing queried = summary(queryTimes);
        const Timing written = summary(writeTimes);

        const bool failed = failedRun(exportTimes) || failedRun(queryTimes) || failedRun(writeTimes);
        const double ratio = failed ? -1 : exported.median / (queried.median + written.median);
        const bool met = !failed && exported.median < GoalMs && ratio <= GoalRatio;
        allMet = allMet && met;
        std::printf("%-10s %8lld %9.1f (%6.1f) %9.1f (%6.1f) %9.1f (%6.1f) %7.2f   %s\n", names[view],
            qlonglong(bytes.count('\n')), exported.median, exported.best, queried.median, queried.best, written.median,
            written.best, ratio, failed ? "FAILED" : (met ? "ok" : "MISSED"));
    }
    return allMet ? 0 : 2;
}
