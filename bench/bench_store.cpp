// SPDX-License-Identifier: GPL-3.0-or-later
// Times the statistics views, the log writer's insert and the reset on ten years of traffic log.
// Usage: bench_store [locale] [runs]   e.g. bench_store de_DE 7

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/LogReset.h"
#include "core/store/FormatDateText.h"
#include "core/store/StoreSession.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/TrafficLogWriter.h"

#include "TenYearLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Moves on a minute at every reading, so that each written row has a length of its own.
class SteppingClock final : public Clock
{
public:
    explicit SteppingClock(QDateTime start)
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now = m_now.addSecs(60); }
    qint64 monotonicMsecs() const override { return m_now.toMSecsSinceEpoch(); }

private:
    mutable QDateTime m_now;
};

struct Timing
{
    double best = 0;
    double median = 0;
};

Timing measure(int runs, const std::function<bool()> &work)
{
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!work())
            return {-1, -1};
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times.first(), times.at(times.size() / 2)};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = TenYearLog::localeAndRuns(app.arguments(), 5);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"Varnolt.db"_s);
    int rowCount = 0;
    {
        QElapsedTimer timer;
        timer.start();
        QString error;
        if (!dir.isValid() || !TenYearLog::create(path, rowCount, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        std::printf("locale %s: %d log rows over ten years, filled in %lld ms\n", qPrintable(QLocale().name()),
            rowCount, timer.elapsed());
    }

    bool allMet = true;
    const auto report = [&](const char *name, const Timing &timing, double goal) {
        const bool met = timing.best >= 0 && timing.median <= goal;
        allMet = allMet && met;
        std::printf("%-34s best %8.1f ms   median %8.1f ms   goal %5.0f ms  %s\n", name, timing.best, timing.median,
            goal, timing.best < 0 ? "FAILED" : (met ? "ok" : "MISSED"));
    };
    const auto timeQuery = [&](const QString &statement, bool native, int expectedRows = -1) {
        return measure(runs, [&] {
            StoreSession session(path);
            if (!session.open())
                return false;
            const std::optional<QueryResult> result
                = native ? session.queryNative(statement) : session.query(statement);
            if (!result || (expectedRows >= 0 && result->rowCount() != expectedRows)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(session.errorString()));
                return false;
            }
            return true;
        });
    };

    const int days = TenYearLog::days();
    const Timing perDay = timeQuery(u"select * from DownloadPerday order by gdate desc"_s, false, days);
    // The best hand-written SQLite query for the same rows: the per-day totals with SQLite's own
    // functions instead of the program's.
    const Timing native
        = timeQuery(u"select cast(replace(Day, '-', '') as integer) as DDate, BytesDown / 1024.0 as KBDown, "
                    u"BytesUp / 1024.0 as KBUp, SpeedSum / SpeedCount as AVGDown, Day || ' 00:00:00' as Gdate "
                    u"from LogPerDay order by Gdate desc"_s,
            true, days);
    // The views read a row a day, not the log: a few milliseconds whatever the log's length.
    constexpr double viewGoal = 10;
    report("per-day view", perDay, viewGoal);
    report("per-week view", timeQuery(u"select * from DownloadPerWeek order by ddate desc"_s, false), viewGoal);
    report("per-month view", timeQuery(u"select * from DownloadPerMonth order by ddate desc"_s, false, 120), viewGoal);
    report("per-year view", timeQuery(u"select * from DownloadPerYear order by ddate desc"_s, false, 10), viewGoal);
    report("per-day view, last month",
        timeQuery(u"select * from DownloadPerday where ddate >= 20261201 order by ddate desc"_s, false, 31), viewGoal);
    report("top 12 weeks",
        timeQuery(u"select top 12 ddate,avgdown from DownloadPerWeek order by ddate desc"_s, false, 12), viewGoal);
    report("volume of the last month",
        timeQuery(u"select sum(bytessent+bytesrcvd)/(1024*1024.0) as loggedVolume from log "
                  u"where DateAndTimeStart>dateadd('m',-1,#"_s
                + FormatDateText(QDateTime(QDate(2026, 12, 1), QTime(0, 0)), u"mm-dd-yyyy 00:00:00"_s) + u"#)"_s,
            false, 1),
        200);

    // The log writer's round as the program runs it: its own connection with the larger
    // buffer, markers out, one row in, in one transaction.
    SteppingClock clock(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)));
    DebugLog quiet(false, QString(), clock);
    OpenRow row;
    TrafficLogWriter writer(path, row, clock, quiet);
    const Timing insert = measure(runs, [&] {
        row.add(7654321, 123456);
        row.addDownloadRate(12.3456);
        const bool ok = writer.write();
        if (!ok)
            std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
        return ok;
    });
    report("one log row written (WriteTrafficLog)", insert, 200);

    // The reset deletes the log row by row, through the per-day totals' trigger: once, last.
    LogReset reset(path, clock);
    const Timing resetTime = measure(1, [&] { return reset.run(); });
    std::printf(
        "%-34s %8.1f ms%s\n", "log reset (Delete * from log)", resetTime.best, resetTime.best < 0 ? "  FAILED" : "");
    allMet = allMet && resetTime.best >= 0;

    std::printf("%-34s best %8.1f ms   median %8.1f ms\n", "native per-day query", native.best, native.median);
    const double ratio = perDay.median / native.median;
    std::printf("per-day view / native query: %.2f (goal 3.00) %s\n", ratio, ratio <= 3.0 ? "ok" : "MISSED");
    return allMet && ratio <= 3.0 ? 0 : 2;
}
