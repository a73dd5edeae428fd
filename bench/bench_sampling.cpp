// SPDX-License-Identifier: GPL-3.0-or-later
// Times one pass of the adapter sampling (steady state, no rebuild: each interface's change
// since its last reading added to the run's sums) next to the bare kernel read of the same
// interface table, with 1, 10, 100 and 1,000 interfaces in a network namespace of its own,
// and counts the heap allocations and watches the resident memory over 10,000 passes.
// With --one-chosen: one pass with one metered interface among 2 and among 200 (99 veth pairs
// beside it), the case of a laptop with containers; run under valgrind --tool=callgrind
// --toggle-collect='*steadyPasses*' for the instructions of a pass (with the timer's), or strace -c -f for
// its system calls, with the number of veth pairs given (the passes and their first, set up).
// Usage: bench_sampling [--one-chosen] [passes] [pairs]   (root: it makes a network namespace)

#include "NetworkNamespace.h"

#include "core/traffic/AdapterList.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/SampleAdapters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>

// Every heap allocation of the process is counted, so that a pass that allocates shows.
namespace {
std::atomic<long> allocations {0};
}

void *operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

double medianMicroseconds(int passes, const std::function<bool()> &work)
{
    std::vector<double> times;
    times.reserve(std::size_t(passes));
    for (int pass = 0; pass < passes; ++pass) {
        QElapsedTimer timer;
        timer.start();
        if (!work())
            return -1;
        times.push_back(double(timer.nsecsElapsed()) / 1e3);
    }
    std::nth_element(times.begin(), times.begin() + passes / 2, times.end());
    return times[std::size_t(passes / 2)];
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// The steady passes of oneChosen, apart, so that callgrind can count them alone.
[[gnu::noinline]] double steadyPasses(int passes, SampleAdapters &sampler, qint64 &monotonicMsecs)
{
    // Kept from a tail call, which would leave the function before the passes run.
    const volatile double time = medianMicroseconds(
        passes, [&] { return sampler.run(monotonicMsecs += 500) == SampleAdapters::Outcome::Summed; });
    return time;
}

// One metered interface (an ifb) beside loopback, then beside 99 veth pairs as well.
int oneChosen(int passes, const QString &database, const std::vector<int> &pairCounts)
{
    NetworkNamespace ns(QStringLiteral("bench1"));
    if (!ns.isValid() || !ns.ipBatch("link add vmeter type ifb\n")) {
        std::printf("bench_sampling: %s\n", qPrintable(ns.error()));
        return 1;
    }
    auto table = ns.inside([] { return std::make_unique<LinuxInterfaceTable>(); });
    std::printf("One chosen interface: median of %d passes, microseconds\n", passes);
    int made = 0;
    for (const int pairs : pairCounts) {
        QByteArray batch;
        for (int pair = made; pair < pairs; ++pair, ++made)
            batch += "link add vb" + QByteArray::number(pair) + " type veth peer name vc" + QByteArray::number(pair)
                + "\n";
        if (!batch.isEmpty() && !ns.ipBatch(batch)) {
            std::printf("bench_sampling: %s\n", qPrintable(ns.error()));
            return 1;
        }
        AdapterList list;
        SampleAdapters sampler(*table, list, database);
        qint64 monotonicMsecs = 0;
        if (sampler.run(monotonicMsecs) != SampleAdapters::Outcome::Summed) {
            std::printf("bench_sampling: first pass failed: %s\n", qPrintable(sampler.errorString()));
            return 1;
        }
        for (int p = 0; p < list.count(); ++p)
            list.setSelected(p, list.text(p) == QLatin1String("vmeter"));
        const double time = steadyPasses(passes, sampler, monotonicMsecs);
        std::printf("%4d interfaces: %8.1f\n", list.count(), time);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool one = argc > 1 && QByteArray(argv[1]) == "--one-chosen";
    if (one) {
        --argc;
        ++argv;
    }
    const int passes = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;

    const QString reason = NetworkNamespace::unavailableReason();
    if (!reason.isEmpty()) {
        std::printf("bench_sampling: not run: %s\n", qPrintable(reason));
        return 1;
    }
    NetworkNamespace ns(QStringLiteral("bench"));
    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("Varnolt.db"));
    if (!ns.isValid() || !QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), database)
        || !QFile::setPermissions(database, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        std::printf("bench_sampling: set-up failed: %s\n", qPrintable(ns.error()));
        return 1;
    }
    if (one)
        return oneChosen(passes, database, argc > 2 ? std::vector<int> {atoi(argv[2])} : std::vector<int> {0, 99});
    auto table = ns.inside([] { return std::make_unique<LinuxInterfaceTable>(); });

    std::printf("Median of %d passes, microseconds\n", passes);
    std::printf(
        "%-11s %14s %16s %7s %22s\n", "interfaces", "kernel read", "sampling pass", "ratio", "names read (rebuild)");
    int interfaces = 1; // loopback
    for (const int wanted : {1, 10, 100, 1000}) {
        QByteArray batch;
        for (; interfaces < wanted; ++interfaces)
            batch += "link add vbench" + QByteArray::number(interfaces) + " type ifb\n";
        if (!batch.isEmpty() && !ns.ipBatch(batch)) {
            std::printf("bench_sampling: %s\n", qPrintable(ns.error()));
            return 1;
        }
        AdapterList list;
        SampleAdapters sampler(*table, list, database);
        qint64 monotonicMsecs = 0; // a pass every 500 ms
        if (sampler.run(monotonicMsecs) != SampleAdapters::Outcome::Summed || list.count() != wanted) {
            std::printf("bench_sampling: first pass failed: %s\n", qPrintable(sampler.errorString()));
            return 1;
        }
        for (int p = 0; p < list.count(); ++p)
            list.setSelected(p, true);

        std::vector<InterfaceCounters> rows;
        const auto bare = [&] { return table->readCounters(rows); };
        const auto pass = [&] { return sampler.run(monotonicMsecs += 500) == SampleAdapters::Outcome::Summed; };
        // Alternated, so that both see the same state of the machine.
        double bareTime = 0;
        double passTime = 0;
        for (int round = 0; round < 5; ++round) {
            bareTime += medianMicroseconds(passes / 5, bare) / 5;
            passTime += medianMicroseconds(passes / 5, pass) / 5;
        }
        std::vector<InterfaceInfo> info;
        const double namesTime = medianMicroseconds(std::max(10, passes / 10), [&] { return table->readInfo(info); });
        std::printf("%-11d %14.1f %16.1f %7.2f %22.1f\n", wanted, bareTime, passTime, passTime / bareTime, namesTime);

        if (wanted == 1000) {
            const long before = residentKiB();
            const long allocationsBefore = allocations.load();
            for (int pass = 0; pass < 10000; ++pass) {
                if (sampler.run(monotonicMsecs += 500) != SampleAdapters::Outcome::Summed)
                    return 1;
            }
            const long allocated = allocations.load() - allocationsBefore;
            std::printf("Heap allocations in 10,000 sampling passes at 1,000 interfaces: %ld\n", allocated);
            std::printf("Resident memory at 1,000 interfaces: %ld KiB before, %ld KiB after 10,000 passes\n", before,
                residentKiB());
        }
    }
    return 0;
}
