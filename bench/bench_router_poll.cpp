// SPDX-License-Identifier: GPL-3.0-or-later
// Times the monitor's poll on the window thread (MonitorPoll::run with the machine's own
// interface table, a real database with its journal and the monitor window offscreen) with
// the interfaces metered, with a router on loopback metered (tests/monitor/counting_igd.py,
// read every 200 ms so that many answers fall among the polls), and with a router that takes
// 3 s to answer every request. The router is read on a thread of its own: a poll must cost no
// more with it, and a slow router must not lengthen any poll.
// Usage: bench_router_poll [seconds per case]   (default 10; polls every 5 ms)

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/RowJournal.h"
#include "core/traffic/SampleAdapters.h"
#include "core/traffic/TrafficLogWriter.h"
#include "core/traffic/VolumeLeftText.h"
#include "core/traffic/WarningSound.h"
#include "monitor/FrmMain.h"
#include "monitor/MonitorPoll.h"
#include "router/RouterSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class NoSound final : public WarningSound
{
public:
    void play(const QString &) override { }
};

struct Figures
{
    double median = 0;
    double p99 = 0;
    double max = 0;
    int polls = 0;
    double rowBytes = 0;
};

// Polls every 5 ms for the given time, with the event loop running in between as in the
// program, and times each poll.
Figures pollFor(int seconds, RouterSource *router, const QString &url)
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Varnolt.db"));
    if (!QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), db))
        qFatal("cannot copy the shipped database");
    QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    SystemClock clock;
    Settings settings;
    settings.routerUrl = url;
    OpenRow row;
    DebugLog log(false, QString(), clock);
    LinuxInterfaceTable table;
    SampleAdapters sampler(table, settings.adapters, db);
    TrafficLogWriter writer(db, row, clock, log);
    NoSound sound;
    VolumeLeftText volumeLeft(db, clock, row.counters(), settings, &sound, QString());
    RowJournal journal(db);
    FrmMain window;
    window.show();
    MonitorPoll poll({sampler, row, settings, writer, journal, volumeLeft, clock, window, router}, 5);
    if (router)
        router->follow(url, QStringLiteral("bench"), 200);

    std::vector<double> times;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        QElapsedTimer timer;
        timer.start();
        poll.run();
        times.push_back(double(timer.nsecsElapsed()) / 1e3);
    });
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    tick.start();
    loop.exec();
    if (router)
        router->follow({}, {});

    Figures f;
    f.polls = int(times.size());
    f.rowBytes = row.counters().rowBytesIn() + row.counters().rowBytesOut();
    std::sort(times.begin(), times.end());
    f.median = times[times.size() / 2];
    f.p99 = times[times.size() * 99 / 100];
    f.max = times.back();
    return f;
}

void print(const char *name, const Figures &f)
{
    std::printf("%-34s %6d polls  median %7.1f µs  p99 %8.1f µs  max %9.1f µs  row %.0f bytes\n", name, f.polls,
        f.median, f.p99, f.max, f.rowBytes);
}

// Replaced whole, so that the router never reads a file half written.
void tell(const QString &path, const char *counters)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(counters) <= 0 || !file.commit())
        qFatal("cannot write the router's counters");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QTemporaryDir dir;
    const QString counters = dir.filePath(QStringLiteral("counters"));
    tell(counters, "1000000 500000 100");
    QProcess igd;
    igd.start(QStringLiteral("python3"),
        {QStringLiteral(VARNOLT_SOURCE_DIR "/tests/monitor/counting_igd.py"), QStringLiteral("--counters"), counters});
    if (!igd.waitForReadyRead(10000))
        qFatal("the loopback router did not start");
    const QString url = QStringLiteral("http://127.0.0.1:%1/rootDesc.xml").arg(QString::fromLatin1(igd.readLine().trimmed()));
    SystemClock clock;
    RouterSource router(clock);

    print("interfaces", pollFor(seconds, nullptr, QString()));
    // The counters grow by 1 MB and 100 kB at every answer.
    QTimer grow;
    quint64 in = 1000000, out = 500000;
    QObject::connect(&grow, &QTimer::timeout, [&] {
        in += 1000000;
        out += 100000;
        tell(counters, QStringLiteral("%1 %2 100").arg(in).arg(out).toLatin1().constData());
    });
    grow.start(200);
    print("router, answering every 200 ms", pollFor(seconds, &router, url));
    grow.stop();
    tell(counters, "1000000 500000 100 3");
    print("router, 3 s for each answer", pollFor(seconds, &router, url));
    std::printf("(%s)\n", qPrintable(router.silentSince().isValid() ? router.problem() : QStringLiteral("answering")));
    igd.kill();
    igd.waitForFinished();
    return 0;
}
