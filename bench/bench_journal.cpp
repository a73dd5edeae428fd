// SPDX-License-Identifier: GPL-3.0-or-later
// Times the journal of the open log row on a real file in WAL mode and counts the flushes
// (fsync, fdatasync) each write asks of the kernel: the write alone, which reaches the disk
// itself (synchronous=FULL: one flush of the write-ahead log), the poll's turn with its
// checkpoint every ten minutes, the poll's turn while another program holds a read transaction
// (a checkpoint tried at every write once the write-ahead log is large), and for comparison
// the same write left to a checkpoint (synchronous=NORMAL), as the journal wrote it before.
// Give a folder on a real disk: on tmpfs a flush costs nothing.
// Usage: bench_journal [folder] [writes]   e.g. bench_journal /var/tmp 2000

#include "core/store/StoreSession.h"
#include "core/traffic/RowJournal.h"
#include "core/traffic/RunCounters.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {
std::atomic<long> flushCount {0};
}

// The benchmark's own fsync and fdatasync come before the C library's for the SQLite library
// too: they count each flush and make it.
extern "C" int fsync(int fd)
{
    ++flushCount;
    return int(syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd)
{
    ++flushCount;
    return int(syscall(SYS_fdatasync, fd));
}

namespace {

struct Figures
{
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Figures figures(QList<double> times)
{
    if (times.isEmpty())
        return {};
    std::sort(times.begin(), times.end());
    const auto at = [&](double share) { return times.at(std::min(qsizetype(share * times.size()), times.size() - 1)); };
    return {at(0.5), at(0.99), times.last()};
}

struct Sample
{
    double msecs = 0;
    long flushes = 0;
};

// Times `count` calls of `work`, each with its index, and counts their flushes; an empty list
// when one failed.
QList<Sample> timeEach(int count, const std::function<bool(int)> &work)
{
    QList<Sample> samples;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) {
        const long flushesBefore = flushCount;
        QElapsedTimer timer;
        timer.start();
        if (!work(i))
            return {};
        samples.append({double(timer.nsecsElapsed()) / 1e6, flushCount - flushesBefore});
    }
    return samples;
}

double flushesPerCall(const QList<Sample> &samples)
{
    long flushes = 0;
    for (const Sample &s : samples)
        flushes += s.flushes;
    return samples.isEmpty() ? 0 : double(flushes) / double(samples.size());
}

Figures print(const char *name, const QList<Sample> &samples)
{
    QList<double> times;
    for (const Sample &s : samples)
        times.append(s.msecs * 1000);
    const Figures f = figures(times);
    std::printf("%-58s %5lld   median %8.1f us   99th %8.1f us   max %8.1f us   flushes %.2f\n", name,
        qlonglong(samples.size()), f.median, f.p99, f.max, flushesPerCall(samples));
    return f;
}

// The open row after i polls of steady traffic.
RunCounters rowAfter(int i)
{
    RunCounters c;
    c.sampled = true;
    c.rowStart = QDateTime(QDate(2026, 12, 5), QTime(17, 0));
    c.curIn = 3'000'000.0 * 5 * (i + 1);
    c.curOut = 60'000.0 * 5 * (i + 1);
    c.avgDown = 2929.6875;
    return c;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList arguments = app.arguments();
    const QString folder = arguments.size() > 1 ? arguments.at(1) : QDir::tempPath();
    const int writes = arguments.size() > 2 ? std::max(100, arguments.at(2).toInt()) : 2000;

    QTemporaryDir dir(folder + u"/bench_journal-XXXXXX"_s);
    const QString path = dir.filePath(u"Varnolt.db"_s);
    if (!dir.isValid() || !QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), path)
        || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "cannot copy %s into %s\n", VARNOLT_SHIPPED_DB, qPrintable(folder));
        return 1;
    }
    {
        // As start-up leaves the database.
        StoreSession session(path);
        if (!session.open() || !session.queryNative(u"PRAGMA journal_mode=WAL"_s)) {
            std::fprintf(stderr, "%s\n", qPrintable(session.errorString()));
            return 1;
        }
    }
    std::printf("%d journal writes on %s\n", writes, qPrintable(path));
    const QDateTime start(QDate(2026, 12, 5), QTime(17, 0, 5));

    RowJournal journal(path);
    const QList<Sample> alone = timeEach(writes, [&](int i) {
        const bool ok = journal.write(rowAfter(i), start.addSecs(5 * i));
        if (!ok)
            std::fprintf(stderr, "%s\n", qPrintable(journal.errorString()));
        return ok;
    });
    const Figures durable = print("journal write", alone);

    // The poll's turn every 5 s of monotonic time: every call writes, one in every checkpoint
    // interval also checkpoints, and the write after it starts the write-ahead log afresh,
    // whose header SQLite flushes as well.
    QList<Sample> plain, checkpointed, restarting;
    qint64 poll = 1'000'000'000;
    int row = writes;
    const QList<Sample> polls = timeEach(writes, [&](int) {
        ++row;
        return journal.poll(rowAfter(row), start.addSecs(5 * row), poll += 5000);
    });
    const int perCheckpoint = int(RowJournal::CheckpointMsecs / RowJournal::IntervalMsecs);
    for (int i = 0; i < polls.size(); ++i)
        (i % perCheckpoint == 0 ? checkpointed : i % perCheckpoint == 1 ? restarting : plain).append(polls.at(i));
    print("poll's turn: write", plain);
    print("poll's turn: write and checkpoint (each interval)", checkpointed);
    print("poll's turn: write after a checkpoint", restarting);

    // Another program holds a read transaction: no checkpoint folds the write-ahead log back,
    // which grows by a page a write; past the warning size each write tries one.
    StoreSession reader(path);
    if (!reader.open() || !reader.executeNative(u"BEGIN"_s) || !reader.queryNative(u"SELECT count(*) FROM Log"_s)) {
        std::fprintf(stderr, "%s\n", qPrintable(reader.errorString()));
        return 1;
    }
    QList<Sample> held, heldLarge;
    const qint64 warning = RowJournal::WalWarningBytes / 2;
    journal.setWalWarningBytes(warning);
    for (int i = 0; i < writes; ++i) {
        const bool large = journal.walBytes() >= warning;
        const QList<Sample> one = timeEach(1, [&](int) {
            ++row;
            return journal.poll(rowAfter(row), start.addSecs(5 * row), poll += 5000);
        });
        if (one.isEmpty())
            return 1;
        (large ? heldLarge : held).append(one);
    }
    print("poll's turn, a reader holding", held);
    print("poll's turn, a reader holding, the log large", heldLarge);
    std::printf("%-58s %lld kB\n", "write-ahead log after them", journal.walBytes() / 1024);
    reader.rollback();
    const QList<Sample> released = timeEach(3, [&](int) {
        ++row;
        return journal.poll(rowAfter(row), start.addSecs(5 * row), poll += 5000);
    });
    print("poll's turn, the reader gone", released);
    std::printf("%-58s %lld kB\n", "write-ahead log after them", journal.walBytes() / 1024);
    journal.close();

    // The same statement left to a checkpoint to flush, as the journal wrote it before.
    StoreSession unflushed(path);
    if (!unflushed.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(unflushed.errorString()));
        return 1;
    }
    const QList<Sample> normal = timeEach(writes, [&](int i) {
        return unflushed.executeNative(
            u"INSERT OR REPLACE INTO RowJournal VALUES (1, '2026-12-05 17:00:00', '2026-12-05 17:00:05', %1, %2, 1.5)"_s
                .arg(i)
                .arg(i * 50));
    });
    print("the same write unflushed (synchronous=NORMAL)", normal);

    // One durable write every 5 s: its flushes between checkpoints (a checkpoint flushes the
    // write-ahead log and the file, the write after it the log's new header; the journal's
    // own every ten minutes, SQLite's own at 1000 pages when no poll checkpoints), and the time
    // it holds the window thread.
    const double flushes = flushesPerCall(plain);
    const bool met = !plain.isEmpty() && flushes <= 1.0;
    std::printf("journal write: %.3f flushes between checkpoints (goal: 1), median %.1f us, %.4f %% of the window "
                "thread at one write every 5 s %s\n",
        flushes, durable.median, durable.median / 1000 / 5000 * 100, met ? "ok" : "MISSED");
    return met ? 0 : 2;
}
