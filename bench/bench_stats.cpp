// SPDX-License-Identifier: GPL-3.0-or-later
// Times the statistics window where the user meets it, on ten years of traffic log: the tray
// menu's "Volume Statistics..." until the window has painted (its first opening, each in a
// fresh process, and later ones); each of the eight views, 3D or 2D, and area, line or bars
// chosen until the chart has painted, beside the same view's query run alone; and what the
// window adds to the resident memory, what it leaves after OK, and after 50 openings and
// closings. It runs on the platform Qt is given; for a real X server and window manager:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24 -noreset"
//       bash tests/onscreen/with_wm.sh build/bin/bench_stats [runs]
// (bench_stats --first-show DATABASE SETTINGS-FOLDER is the fresh process the benchmark
// starts itself.)

#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "TenYearLog.h"
#include "WindowBench.h"

#include "core/Settings.h"
#include "core/store/FormatDateText.h"
#include "core/store/StoreSession.h"
#include "monitor/FrmMain.h"
#include "desktop/MessageBox.h"
#include "shell/TrayMenu.h"
#include "app/VarnoltApp.h"
#include "stats/FrmStats.h"
#include "stats/StatsModule.h"
#include "stats/StatsChart.h"
#include "stats/StatsGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using namespace WindowBench;

constexpr double FirstPaintGoalMsecs = 250;
constexpr double SwitchGoalMsecs = 150;
// The allowance's line, the projected month and the forecast, on a later opening.
constexpr double AllowanceGoalMsecs = 50;
constexpr double SwitchToQueryGoal = 1.5;
// The ratio holds the window's own work (the chart's rebuild and paint, about 5 ms) to half
// the view's query, which took 80 to 100 ms when the views totalled the log row by row. Now
// that they read per-day totals, a query takes a few milliseconds and the chart's own work
// dominates: a switch then meets the goal when it adds no more than that to its query.
constexpr double SwitchOverQueryMsecs = 10;
constexpr double MemoryGoalMB = 15;
// Openings and closings may leave the allocator's free lists a little larger; a leak of a
// window, its chart or its grid would be several megabytes over this many cycles.
constexpr int Cycles = 50;
constexpr double CycleGrowthGoalMB = 1;
constexpr double PageBackGoalMsecs = 20;

// The chart choices OK keeps go to a folder of the benchmark's own, never to the user's.
void keepSettingsIn(const QString &folder)
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

// The program as start-up builds it, on the ten-year log: a fake interface table with two
// cards and the clock on the log's last evening, so that the day views show 15 full days.
// The 500 ms poll is stopped once the first reading is in, so that no tick lands inside a
// timing. Without a tray host the monitor window comes up at start; it is hidden again, as
// the tray would have kept it. Message boxes are recorded, not shown: one is a failure.
class Program
{
public:
    Program() { MessageBox::setNextAnswer(QMessageBox::Ok); }
    ~Program()
    {
        if (m_app)
            m_app->shutdown();
    }
    Q_DISABLE_COPY_MOVE(Program)

    bool start(const QString &path)
    {
        auto table = std::make_unique<FakeInterfaceTable>();
        table->rows = FakeInterfaceTable::cards(2);
        m_app = std::make_unique<VarnoltApp>(path, QStringList(), m_clock, std::move(table));
        m_app->setStatsMaker(&StatsModule::make);
        if (!m_app->start())
            return false;
        m_app->monitor()->pollTimer().stop();
        settle(200);
        if (m_app->monitor()->isVisible())
            m_app->toggleMonitor();
        settle(100);
        return boxesShown();
    }

    // False, with the boxes' texts written out, when the program has shown a message box.
    static bool boxesShown()
    {
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        for (const MessageBox::Shown &box : shown)
            std::fprintf(stderr, "message box: %s\n", qPrintable(box.text));
        return shown.isEmpty();
    }

    VarnoltApp &app() { return *m_app; }
    const FakeClock &clock() const { return m_clock; }
    FrmStats *stats() const { return m_app->stats(); }
    QWidget *chartViewport() const { return stats() ? stats()->logChart->viewport() : nullptr; }

    // The tray menu's "Volume Statistics..." until the window's chart has painted.
    PaintWatch::Times open(PaintWatch &watch)
    {
        return watch.time(PaintWatch::Target([this] { return chartViewport(); }),
            [this] { m_app->trayMenu()->showAll->trigger(); });
    }

    // OK until the window is deleted; below 0 when it stayed.
    double closeWithOk()
    {
        const QPointer<FrmStats> window = stats();
        if (!window)
            return -1;
        QElapsedTimer timer;
        timer.start();
        click(window->cmdOK);
        return waitUntil([&] { return window.isNull(); }) ? double(timer.nsecsElapsed()) / 1e6 : -1;
    }

private:
    FakeClock m_clock {QDateTime(TenYearLog::last(), QTime(18, 0))};
    std::unique_ptr<VarnoltApp> m_app;
};

// The fresh process: start-up, then one first opening from the tray menu and OK. Prints the
// times, how often the chart painted, and the memory (all, anonymous, heap bytes) before the
// opening, with the window open and after OK.
int firstShow(const QString &path, const QString &settingsFolder)
{
    keepSettingsIn(settingsFolder);
    Program program;
    if (!program.start(path)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    const Resident before = resident();
    PaintWatch watch;
    const PaintWatch::Times shown = program.open(watch);
    settle(300);
    const int paints = watch.paints();
    const double lastPainted = watch.lastPainted();
    const Resident open = resident();
    const double closed = program.closeWithOk();
    settle(300);
    const Resident after = resident();
    if (!Program::boxesShown())
        return 1;
    std::printf("%.3f %.3f %.3f %.3f %d %.3f", shown.returned, shown.exposed, shown.painted, closed, paints,
        lastPainted);
    for (const Resident &r : {before, open, after})
        std::printf(" %lld %lld %lld", r.total, r.anonymous, r.heapBytes);
    std::printf("\n");
    return 0;
}

// One switch of the window's choices, timed until the chart has painted.
struct Switch
{
    Switch(QString name_, QComboBox *list_, int index_, int view_)
        : name(std::move(name_))
        , list(list_)
        , index(index_)
        , view(view_)
    {
    }

    QString name;
    QComboBox *list;
    int index;
    int view; // the view shown after it, whose query it is compared with
    QList<double> returned;
    QList<double> painted;
    QList<double> lastPainted;
};

// The month view with an 80 GB monthly allowance: the tray menu's "Volume Statistics..." until
// the chart, with the allowance's line, the projected month and the forecast, has painted.
// The choices and the settings are put back afterwards.
QList<double> allowanceOpenings(Program &program, PaintWatch &watch, int runs)
{
    Settings &settings = program.app().settings();
    const Settings kept = settings;
    settings.maxMB = 81920;
    settings.periodType = 2;
    settings.periodLength = 0;
    settings.startDay = 1;
    QSettings choices(u"Varnolt"_s, u"Varnolt"_s);
    const QVariant view = choices.value(u"Chart/ChartType"_s);
    choices.setValue(u"Chart/ChartType"_s, StatsGrid::VolumePerMonth);
    choices.sync();
    QList<double> painted;
    for (int run = 0; run < runs; ++run) {
        const PaintWatch::Times shown = program.open(watch);
        const bool drawn = program.stats() && program.stats()->logChart->allowanceLineY()
            && !program.stats()->logChart->allowance().forecast.isEmpty();
        painted.append(drawn ? shown.painted : -1);
        settle(100);
        program.closeWithOk();
        settle(50);
    }
    settings = kept;
    if (view.isValid())
        choices.setValue(u"Chart/ChartType"_s, view);
    else
        choices.remove(u"Chart/ChartType"_s);
    choices.sync();
    return painted;
}

// A figure in megabytes from a kB or byte count.
double megabytes(qint64 kB)
{
    return double(kB) / 1024;
}

// "<" on the newest page of each view but the years', timed until the chart has painted the page before it (15 days, or
// the 12 weeks, months or years before the newest 12), then ">" back; the page's grid filled alone beside it. Prints
// the figures; false when a page back was not offered or came out empty.
bool pageBack(FrmStats &window, PaintWatch &watch, const QString &path, Program &program, int runs, Report &report)
{
    bool paged = true;
    std::printf("\n  %-58s %11s %11s   goal\n", "Paging back one page, until painted", "median", "worst");
    for (int view = 0; view < StatsGrid::ViewCount; ++view) {
        if (view % 4 == StatsGrid::VolumePerYear)
            continue; // ten years are one page
        window.lstChartPeriod->setCurrentIndex(view);
        settle(60);
        QList<double> painted, filled, grid, newest;
        StatsGrid alone(program.clock());
        VarnoltApp &app = program.app();
        for (int run = 0; run < runs && paged; ++run) {
            paged = window.bttOlder->isEnabled();
            const PaintWatch::Times shown = watch.time(window.logChart->viewport(), [&] { click(window.bttOlder); });
            paged = paged && window.page() == 1 && window.grid().rowCount() == StatsGrid::pageLength(view);
            painted.append(shown.painted);
            filled.append(shown.returned);
            settle(60);
            click(window.bttNewer);
            settle(60);
            QElapsedTimer timer;
            timer.start();
            StatsGrid::Span span;
            span.page = 1;
            paged = paged
                && alone.fill(path, view, false, app.settings().kilobit(), app.counters(), span)
                    == StatsGrid::Outcome::Filled;
            grid.append(double(timer.nsecsElapsed()) / 1e6);
            timer.start();
            paged = paged
                && alone.fill(path, view, false, app.settings().kilobit(), app.counters())
                    == StatsGrid::Outcome::Filled;
            newest.append(double(timer.nsecsElapsed()) / 1e6);
        }
        report.time(qPrintable(StatsGrid::viewEntries(app.settings().kilobit()).at(view)), figuresOf(painted),
            PageBackGoalMsecs);
        Report::part("clicked to the chart rebuilt, before the paint", figuresOf(filled));
        Report::part("the page's grid filled alone", figuresOf(grid));
        Report::part("the newest page's grid filled alone, for comparison", figuresOf(newest));
    }
    window.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerDay);
    if (!paged)
        std::printf("  FAILED: a page back was not offered, or not a whole page\n");
    return paged;
}

// bench_stats --paging [runs]: the paging alone, on a window opened once.
int pagingAlone(int runs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Varnolt.db"_s);
    keepSettingsIn(dir.filePath(u"settings"_s));
    Program program;
    if (!TenYearLog::createIn(dir, path) || !program.start(path)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    PaintWatch watch;
    (void)program.open(watch);
    settle(300);
    if (!program.stats())
        return 1;
    Report report;
    const bool paged = pageBack(*program.stats(), watch, path, program, runs, report);
    return paged && report.allMet() ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 3 && arguments.at(1) == u"--first-show"_s)
        return firstShow(arguments.at(2), arguments.at(3));
    if (arguments.size() > 1 && arguments.at(1) == u"--paging"_s)
        return pagingAlone(arguments.size() > 2 ? std::max(1, arguments.at(2).toInt()) : 15);
    const int runs = arguments.size() > 1 ? std::max(1, arguments.at(1).toInt()) : 15;

    QTemporaryDir dir;
    const QString path = dir.filePath(u"Varnolt.db"_s);
    const QString settingsFolder = dir.filePath(u"settings"_s);
    keepSettingsIn(settingsFolder);
    int rowCount = 0;
    QString error;
    if (!dir.isValid() || !TenYearLog::create(path, rowCount, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString display = qEnvironmentVariable("DISPLAY");
    std::printf("platform %s%s, %d log rows over ten years, %d runs\n", qPrintable(QGuiApplication::platformName()),
        display.isEmpty() ? "" : qPrintable(u" (display %1)"_s.arg(display)), rowCount, runs);

    // The first opening, each in a process of its own, with the memory around it.
    enum Moment { Before, Open, Closed, Moments };
    QList<double> firstReturned, firstExposed, firstPainted, firstClosed, firstPaints, firstLast;
    QList<double> total[Moments], anonymous[Moments], heap[Moments];
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {u"--first-show"_s, path, settingsFolder});
        const QList<QByteArray> fields
            = child.waitForFinished(60000) ? child.readAllStandardOutput().trimmed().split(' ') : QList<QByteArray>();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || fields.size() != 6 + 3 * Moments) {
            std::fprintf(stderr, "the first-opening process failed\n");
            return 1;
        }
        firstReturned.append(fields.at(0).toDouble());
        firstExposed.append(fields.at(1).toDouble());
        firstPainted.append(fields.at(2).toDouble());
        firstClosed.append(fields.at(3).toDouble());
        firstPaints.append(fields.at(4).toDouble());
        firstLast.append(fields.at(5).toDouble());
        for (int moment = Before; moment < Moments; ++moment) {
            total[moment].append(megabytes(fields.at(6 + 3 * moment).toLongLong()));
            anonymous[moment].append(megabytes(fields.at(7 + 3 * moment).toLongLong()));
            heap[moment].append(megabytes(fields.at(8 + 3 * moment).toLongLong() / 1024));
        }
    }

    Program program;
    if (!program.start(path)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    VarnoltApp &app = program.app();
    PaintWatch watch;

    // The window made alone, hidden, before its first fill: a piece of the first opening.
    QList<double> construction;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        auto *window = new FrmStats(
            {app.databasePath(), program.clock(), app.counters(), app.settings()});
        construction.append(double(timer.nsecsElapsed()) / 1e6);
        delete window;
    }

    // Openings and closings: the first in this process warms what every later one shares
    // (fonts, the styles' caches), then the memory is taken before and after the cycles.
    QList<double> laterReturned, laterExposed, laterPainted, laterClosed;
    (void)program.open(watch);
    settle(200);
    const bool warmClosed = program.closeWithOk() >= 0;
    settle(300);
    const Resident beforeCycles = resident();
    const int widgetsBefore = int(QApplication::allWidgets().size());
    Resident afterTen;
    for (int cycle = 1; cycle <= std::max(Cycles, runs); ++cycle) {
        const PaintWatch::Times shown = program.open(watch);
        laterReturned.append(shown.returned);
        laterExposed.append(shown.exposed);
        laterPainted.append(shown.painted);
        settle(100);
        laterClosed.append(program.closeWithOk());
        settle(50);
        if (cycle == 10) {
            settle(250);
            afterTen = resident();
        }
    }
    settle(300);
    const Resident afterCycles = resident();
    const int widgetsAfter = int(QApplication::allWidgets().size());

    // The switches, on the window as it opens with the choices kept by default: 3D areas of
    // the volume per day. Each view chosen after the one before it; the kind and 3D or 2D
    // on the volume per day.
    (void)program.open(watch);
    settle(300);
    if (!program.stats()) {
        std::fprintf(stderr, "the window did not open\n");
        return 1;
    }
    FrmStats &window = *program.stats();
    QList<Switch> switches;
    for (int view = 1; view <= StatsGrid::ViewCount; ++view) {
        const int index = view % StatsGrid::ViewCount;
        switches.append({window.lstChartPeriod->itemText(index), window.lstChartPeriod, index, index});
    }
    const QList<Switch> kinds {
        {u"3D: Line"_s, window.lstChrtLine, StatsChart::Line, StatsGrid::VolumePerDay},
        {u"3D: Bars"_s, window.lstChrtLine, StatsChart::Bars, StatsGrid::VolumePerDay},
        {u"3D: Area"_s, window.lstChrtLine, StatsChart::Area, StatsGrid::VolumePerDay},
        {u"2D chosen (Area)"_s, window.lst23d, 1, StatsGrid::VolumePerDay},
        {u"2D: Line"_s, window.lstChrtLine, StatsChart::Line, StatsGrid::VolumePerDay},
        {u"2D: Bars"_s, window.lstChrtLine, StatsChart::Bars, StatsGrid::VolumePerDay},
        {u"2D: Area"_s, window.lstChrtLine, StatsChart::Area, StatsGrid::VolumePerDay},
        {u"3D chosen (Area)"_s, window.lst23d, 0, StatsGrid::VolumePerDay},
    };
    switches << kinds;
    for (int run = 0; run < runs; ++run) {
        for (Switch &change : switches) {
            const PaintWatch::Times shown = watch.time(window.logChart->viewport(),
                [&] { change.list->setCurrentIndex(change.index); });
            settle(60);
            change.returned.append(shown.returned);
            change.painted.append(shown.painted);
            change.lastPainted.append(watch.lastPainted());
        }
    }
    const bool switchesShown = Program::boxesShown();

    // The pieces of a switch, each alone: the view's query, the grid filled (the same query
    // and the grid's own work), the chart rebuilt from the grid, and a repaint of the chart
    // with nothing changed.
    const QDate today = program.clock().now().date();
    const bool kbps = app.settings().kilobit();
    QList<double> query[StatsGrid::ViewCount], fill[StatsGrid::ViewCount], rebuild[StatsGrid::ViewCount],
        repaint[StatsGrid::ViewCount];
    StatsGrid grid(program.clock());
    bool piecesRead = true;
    for (int run = 0; run < runs; ++run) {
        for (int view = 0; view < StatsGrid::ViewCount; ++view) {
            QElapsedTimer timer;
            timer.start();
            {
                StoreSession session(path);
                piecesRead = piecesRead && session.open() && session.query(StatsGrid::query(view, today)).has_value();
            }
            query[view].append(double(timer.nsecsElapsed()) / 1e6);
            timer.start();
            piecesRead
                = piecesRead && grid.fill(path, view, false, kbps, app.counters()) == StatsGrid::Outcome::Filled;
            fill[view].append(double(timer.nsecsElapsed()) / 1e6);
            timer.start();
            window.logChart->showGrid(grid, StatsChart::Area, true, false, StatsGrid::unit(view, kbps));
            rebuild[view].append(double(timer.nsecsElapsed()) / 1e6);
            settle(60);
            repaint[view].append(watch.time(window.logChart->viewport(), [&] { window.logChart->viewport()->update(); })
                                     .painted);
            settle(30);
        }
    }
    // The same for the kinds and 2D, on the volume per day.
    struct Drawing
    {
        const char *name;
        StatsChart::Kind kind;
        bool threeD;
        QList<double> rebuild;
        QList<double> repaint;
    };
    QList<Drawing> drawings {{"3D Area", StatsChart::Area, true, {}, {}}, {"3D Line", StatsChart::Line, true, {}, {}},
        {"3D Bars", StatsChart::Bars, true, {}, {}}, {"2D Area", StatsChart::Area, false, {}, {}},
        {"2D Line", StatsChart::Line, false, {}, {}}, {"2D Bars", StatsChart::Bars, false, {}, {}}};
    piecesRead = piecesRead
        && grid.fill(path, StatsGrid::VolumePerDay, false, kbps, app.counters()) == StatsGrid::Outcome::Filled;
    for (int run = 0; run < runs; ++run) {
        for (Drawing &drawing : drawings) {
            QElapsedTimer timer;
            timer.start();
            window.logChart->showGrid(grid, drawing.kind, drawing.threeD, false, u"MB"_s);
            drawing.rebuild.append(double(timer.nsecsElapsed()) / 1e6);
            settle(60);
            drawing.repaint.append(
                watch.time(window.logChart->viewport(), [&] { window.logChart->viewport()->update(); }).painted);
            settle(30);
        }
    }
    Report report;
    const bool paged = pageBack(window, watch, path, program, runs, report);
    window.close(); // without OK: the choices stay as they were
    waitUntil([&] { return !program.stats(); });
    const QList<double> allowancePainted = allowanceOpenings(program, watch, std::max(runs, 10));

    std::printf("\n  %-58s %11s %11s   goal\n", "Times", "median", "worst");
    report.time("Volume Statistics... to painted, first opening (new process)", figuresOf(firstPainted),
        FirstPaintGoalMsecs);
    Report::part("openStats returned (window made, view read, chart built)", figuresOf(firstReturned));
    Report::part("window exposed", figuresOf(firstExposed));
    report.time(qPrintable(u"Volume Statistics... to painted, %1 later openings"_s.arg(laterPainted.size())),
        figuresOf(laterPainted), FirstPaintGoalMsecs);
    Report::part("openStats returned (window made, view read, chart built)", figuresOf(laterReturned));
    Report::part("window exposed", figuresOf(laterExposed));
    Report::part("window made alone, hidden, not filled", figuresOf(construction));
    report.time("Volume Statistics... to painted, month view with the allowance", figuresOf(allowancePainted),
        AllowanceGoalMsecs);
    Report::info("OK to the window deleted, first opening (no goal)", figuresOf(firstClosed));
    Report::info("OK to the window deleted, later openings (no goal)", figuresOf(laterClosed));
    std::printf("  the chart painted %.0f times in the first opening, the last done at %.1f ms (medians)\n",
        median(firstPaints), median(firstLast));

    std::printf("\n  %-26s %9s %9s %9s %9s %9s %6s %9s   goal: < %.0f ms and <= %.1f x query (or query + %.0f ms)\n",
        "Switch until painted (ms)", "median", "worst", "last", "filled", "query", "ratio", "-query", SwitchGoalMsecs,
        SwitchToQueryGoal, SwitchOverQueryMsecs);
    for (const Switch &change : std::as_const(switches)) {
        const Figures painted = figuresOf(change.painted);
        const double queried = median(query[change.view]);
        const double ratio = painted.median / queried;
        const bool met = painted.median >= 0 && painted.median < SwitchGoalMsecs
            && (ratio <= SwitchToQueryGoal || painted.median - queried <= SwitchOverQueryMsecs);
        std::printf("  %-26s %9.1f %9.1f %9.1f %9.1f %9.1f %6.2f %9.1f   %s%s\n", qPrintable(change.name),
            painted.median, painted.worst, median(change.lastPainted), median(change.returned), queried, ratio,
            painted.median - queried, painted.median < 0 ? "FAILED" : report.verdict(met),
            painted.worst >= SwitchGoalMsecs ? " (worst over)" : "");
    }
    std::printf("  median, worst: until the chart's first paint; last: its last repaint within 60 ms (median);\n"
                "  filled: the choice made, the view read and the chart rebuilt, before the paint\n");

    std::printf("\n  %-26s %9s %9s %9s %9s   (medians, ms)\n", "Pieces, each alone", "query", "grid", "chart",
        "repaint");
    for (int view = 0; view < StatsGrid::ViewCount; ++view) {
        std::printf("  %-26s %9.1f %9.1f %9.1f %9.1f\n", qPrintable(StatsGrid::viewEntries(kbps).at(view)),
            median(query[view]), median(fill[view]), median(rebuild[view]), median(repaint[view]));
    }
    for (const Drawing &drawing : std::as_const(drawings)) {
        std::printf("  %-26s %9s %9s %9.1f %9.1f\n", qPrintable(u"Volume Per Day, "_s + QLatin1String(drawing.name)),
            "", "", median(drawing.rebuild), median(drawing.repaint));
    }
    std::printf("  grid: the grid filled, its query included; chart: StatsChart::showGrid; repaint: update()\n");

    std::printf("\n  %-58s %9s %10s %12s\n",
        qPrintable(u"Resident memory (VmRSS), median of %1 new processes"_s.arg(runs)), "total", "growth",
        "(anonymous)");
    report.memory("program started, before the opening", median(total[Before]), 0, 0, -1);
    QList<double> openGrowth, openAnonymous, closedGrowth, closedAnonymous, openHeap, closedHeap;
    for (int i = 0; i < runs; ++i) {
        openGrowth.append(total[Open].at(i) - total[Before].at(i));
        openAnonymous.append(anonymous[Open].at(i) - anonymous[Before].at(i));
        openHeap.append(heap[Open].at(i) - heap[Before].at(i));
        closedGrowth.append(total[Closed].at(i) - total[Before].at(i));
        closedAnonymous.append(anonymous[Closed].at(i) - anonymous[Before].at(i));
        closedHeap.append(heap[Closed].at(i) - heap[Before].at(i));
    }
    report.memory("window open, painted", median(total[Open]), median(openGrowth), median(openAnonymous),
        MemoryGoalMB);
    report.memory("after OK, window deleted (against before)", median(total[Closed]), median(closedGrowth),
        median(closedAnonymous), -1);
    std::printf("  heap in use (malloc), against before: window open %+.2f MB, after OK %+.2f MB\n", median(openHeap),
        median(closedHeap));

    const int cycles = int(laterPainted.size());
    const double cycleGrowth = megabytes(afterCycles.total - beforeCycles.total);
    std::printf("\n  %s\n", qPrintable(u"%1 openings and closings in one process (after a first one)"_s.arg(cycles)));
    report.memory("before the cycles", megabytes(beforeCycles.total), 0, 0, -1);
    report.memory("after 10 cycles", megabytes(afterTen.total), megabytes(afterTen.total - beforeCycles.total),
        megabytes(afterTen.anonymous - beforeCycles.anonymous), -1);
    report.memory(qPrintable(u"after %1 cycles"_s.arg(cycles)), megabytes(afterCycles.total), cycleGrowth,
        megabytes(afterCycles.anonymous - beforeCycles.anonymous), CycleGrowthGoalMB);
    std::printf("  heap in use (malloc): %+.1f kB after 10 cycles, %+.1f kB after %d; widgets alive %d before, %d "
                "after\n",
        double(afterTen.heapBytes - beforeCycles.heapBytes) / 1024,
        double(afterCycles.heapBytes - beforeCycles.heapBytes) / 1024, cycles, widgetsBefore, widgetsAfter);

    const bool ran = warmClosed && switchesShown && piecesRead && paged && widgetsAfter == widgetsBefore;
    if (!ran)
        std::printf("\n  FAILED: a window stayed open, a view could not be read or widgets were left behind\n");
    return ran && report.allMet() ? 0 : 2;
}
