// SPDX-License-Identifier: GPL-3.0-or-later
// The report command as the user runs it, a whole process, next to the cheapest process that
// can answer anything from the same database, on ten years of traffic log; and the cost of one
// log row with the per-day totals' triggers, apart from the disk's flush.
//   bench_report [runs]
// (bench_report --floor DATABASE is the floor process the benchmark starts itself.)

#include "TenYearLog.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/store/StoreSession.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/TrafficLogWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr double ReportToFloorGoal = 2.0;
constexpr double RowGoalMsecs = 2.0;

// Opens the database read-only, as the report does, and reads one row: a process of the same
// libraries that does nothing else.
int floorProcess(const QString &database)
{
    StoreSession session(database);
    session.setReadOnly(true);
    if (!session.open())
        return 1;
    const std::optional<QueryResult> row = session.queryNative(u"select * from Log limit 1"_s);
    return row && row->rowCount() == 1 ? 0 : 1;
}

// Milliseconds of one run of the program, from its start to its end; -1 when it failed.
double timeProcess(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

class SteppingClock final : public Clock
{
public:
    explicit SteppingClock(QDateTime start)
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override
    {
        m_now = m_now.addSecs(60);
        return m_now;
    }
    qint64 monotonicMsecs() const override { return m_now.toMSecsSinceEpoch(); }

private:
    mutable QDateTime m_now;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == u"--floor"_s)
        return floorProcess(arguments.at(2));
    const int runs = arguments.size() > 1 ? std::max(1, arguments.at(1).toInt()) : 15;

    QTemporaryDir dir;
    const QString database = dir.filePath(u"Varnolt.db"_s);
    const std::optional<int> rows = TenYearLog::createIn(dir, database);
    if (!rows)
        return 1;
    const int rowCount = *rows;
    std::printf("%d log rows over ten years, %d runs each, medians (best)\n\n", rowCount, runs);

    const QString self = QCoreApplication::applicationFilePath();
    const QString report = QDir(QCoreApplication::applicationDirPath()).filePath(u"varnolt-report"_s);
    struct Command
    {
        const char *name;
        QString program;
        QStringList arguments;
        QList<double> times;
    };
    QList<Command> commands {
        {"floor: open, read one row", self, {u"--floor"_s, database}, {}},
        {"varnolt-report month", report, {u"month"_s, u"--database"_s, database}, {}},
        {"varnolt-report status", report, {u"status"_s, u"--database"_s, database}, {}},
        {"varnolt-report day --json", report, {u"day"_s, u"--json"_s, u"--database"_s, database}, {}},
    };
    // Interleaved, so that a busy moment of the machine falls on every command alike.
    for (int run = 0; run < runs + 1; ++run) {
        for (Command &command : commands) {
            const double msecs = timeProcess(command.program, command.arguments);
            if (run > 0) // the first run only warms the page cache
                command.times << msecs;
        }
    }
    bool allMet = true;
    const double floor = median(commands.first().times);
    std::printf("  %-28s %10s %10s %8s   goal: <= %.1f x floor\n", "process, start to end", "median", "best",
        "x floor", ReportToFloorGoal);
    for (const Command &command : std::as_const(commands)) {
        const double value = median(command.times);
        const double best = *std::min_element(command.times.cbegin(), command.times.cend());
        const bool failed = std::any_of(command.times.cbegin(), command.times.cend(), [](double t) { return t < 0; });
        const double ratio = value / floor;
        const bool met = !failed && ratio <= ReportToFloorGoal;
        if (&command != &commands.first())
            allMet = allMet && met;
        std::printf("  %-28s %7.1f ms %7.1f ms %8.2f   %s\n", command.name, value, best, ratio,
            failed ? "FAILED" : &command == &commands.first() ? "" : met ? "ok" : "MISSED");
    }

    // One log row as the log writer writes it, markers out and the row in, with the per-day
    // totals' triggers, on a copy in memory-backed storage: the triggers' and SQLite's own work,
    // without the disk's flush, which the row's commit asks for and which the disk decides.
    const QString shm = u"/dev/shm/varnolt-bench-report-%1.db"_s.arg(QCoreApplication::applicationPid());
    QFile::remove(shm);
    if (QFile::copy(database, shm)) {
        SteppingClock clock(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)));
        DebugLog quiet(false, QString(), clock);
        OpenRow row;
        TrafficLogWriter writer(shm, row, clock, quiet);
        QList<double> times;
        for (int run = 0; run < runs * 4; ++run) {
            row.add(7654321, 123456);
            row.addDownloadRate(12.3456);
            QElapsedTimer timer;
            timer.start();
            const bool ok = writer.write();
            times << (ok ? double(timer.nsecsElapsed()) / 1e6 : -1);
        }
        QFile::remove(shm);
        QFile::remove(shm + u"-wal"_s);
        QFile::remove(shm + u"-shm"_s);
        const double value = median(times);
        const bool met = value >= 0 && value < RowGoalMsecs;
        allMet = allMet && met;
        std::printf("\n  %-28s %7.2f ms %7.2f ms            goal: < %.0f ms  %s\n", "a log row, without the flush",
            value, *std::min_element(times.cbegin(), times.cend()), RowGoalMsecs, met ? "ok" : "MISSED");
    }
    return allMet ? 0 : 2;
}
