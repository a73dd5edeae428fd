// SPDX-License-Identifier: GPL-3.0-or-later
// Times the options dialog where the user meets it, on ten years of traffic log: the tray
// menu's "Options..." until the dialog has painted (its first showing, each in a fresh
// process, and later ones), OK until the dialog is hidden with its rows committed, and the
// Volume Left page's preview; and what creating and showing the dialog adds to the resident
// memory. It runs on the platform Qt is given; for a real X server and window manager:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24 -noreset"
//       bash tests/onscreen/with_wm.sh build/bin/bench_options [runs]
// (bench_options --first-show DATABASE is the fresh process the benchmark starts itself.)

#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "TenYearLog.h"
#include "WindowBench.h"

#include "core/DatabaseStartup.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/traffic/RowJournal.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/SampleAdapters.h"
#include "core/traffic/TrafficLogWriter.h"
#include "core/traffic/VolumeLeftText.h"
#include "monitor/FrmMain.h"
#include "monitor/MonitorPoll.h"
#include "monitor/SoundModule.h"
#include "options/FrmOptions.h"
#include "desktop/AppIcon.h"
#include "shell/CornerPlacement.h"
#include "shell/MonitorMenu.h"
#include "shell/TrayIcon.h"
#include "shell/TrayMenu.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using namespace WindowBench;

constexpr double GoalMsecs = 50;
constexpr double MemoryGoalMB = 3;

// What start-up builds before it creates the options dialog, in start-up's order, and the
// dialog made and wired as start-up makes it. The interface table is a fake one with two
// cards; the clock stands on the log's last day, so that every window the preview or the
// poll sums is full of rows.
class RunParts
{
public:
    explicit RunParts(QString databasePath)
        : m_path(std::move(databasePath))
        , m_writer(m_path, m_row, m_clock, m_log)
    {
        m_table.rows = FakeInterfaceTable::cards(2);
    }

    bool start(QString &error)
    {
        m_monitor = std::make_unique<FrmMain>();
        m_monitor->setWindowIcon(AppIcon::icon());
        m_placement = std::make_unique<CornerPlacement>(*m_monitor, 200);
        m_tray = std::make_unique<TrayIcon>();
        m_trayMenu = std::make_unique<TrayMenu>();
        m_monitorMenu = std::make_unique<MonitorMenu>();
        (void)m_tray->add();
        m_monitor->hide();
        DatabaseStartup startup(m_path, m_clock, m_log, m_settings);
        if (!startup.run()) {
            error = startup.errorString();
            return false;
        }
        m_monitor->setHeightTwips(FrmMain::heightFor(m_settings));
        m_sampler = std::make_unique<SampleAdapters>(m_table, m_settings.adapters, m_path);
        m_sound = std::make_unique<SoundModule>(QCoreApplication::applicationDirPath());
        m_volumeLeft = std::make_unique<VolumeLeftText>(
            m_path, m_clock, m_row.counters(), m_settings, m_sound.get(), QCoreApplication::applicationDirPath());
        m_journal = std::make_unique<RowJournal>(m_path);
        m_poll = std::make_unique<MonitorPoll>(MonitorPoll::Parts {*m_sampler, m_row, m_settings, m_writer, *m_journal,
                                                   *m_volumeLeft, m_clock, *m_monitor},
            FrmMain::PollIntervalMsecs);
        return true;
    }

    void createOptions()
    {
        m_options = std::make_unique<FrmOptions>(FrmOptions::Parts {m_settings, m_clock, *m_volumeLeft, m_path,
            QCoreApplication::applicationDirPath() + QStringLiteral("/Varnolt.html")});
        // As the run wires it: OK sizes the monitor.
        QObject::connect(m_options.get(), &FrmOptions::optionsStored, m_monitor.get(), [this] {
            m_monitor->setHeightTwips(FrmMain::heightFor(m_settings));
            m_monitor->update();
        });
        QObject::connect(m_trayMenu->options, &QAction::triggered, m_options.get(), &FrmOptions::showOptions);
    }

    // One tick of the monitor, half a second after the last.
    void poll()
    {
        m_clock.advanceMsecs(FrmMain::PollIntervalMsecs);
        m_poll->run();
        if (m_options)
            m_options->followAdapters();
    }

    FrmMain &monitor() { return *m_monitor; }
    TrayMenu &trayMenu() { return *m_trayMenu; }
    FrmOptions &options() { return *m_options; }
    Settings &settings() { return m_settings; }

private:
    QString m_path;
    FakeClock m_clock {QDateTime(TenYearLog::last(), QTime(18, 0))};
    DebugLog m_log {false, QString(), m_clock};
    Settings m_settings;
    OpenRow m_row;
    FakeInterfaceTable m_table;
    TrafficLogWriter m_writer;
    std::unique_ptr<FrmMain> m_monitor;
    std::unique_ptr<CornerPlacement> m_placement;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<TrayMenu> m_trayMenu;
    std::unique_ptr<MonitorMenu> m_monitorMenu;
    std::unique_ptr<SampleAdapters> m_sampler;
    std::unique_ptr<SoundModule> m_sound;
    std::unique_ptr<VolumeLeftText> m_volumeLeft;
    std::unique_ptr<RowJournal> m_journal;
    std::unique_ptr<MonitorPoll> m_poll;
    std::unique_ptr<FrmOptions> m_options;
};

// Hides the dialog and waits until its window is gone from the screen.
void hideAndSettle(QWidget *dialog)
{
    dialog->hide();
    QElapsedTimer timer;
    timer.start();
    while (dialog->windowHandle() && dialog->windowHandle()->isExposed() && timer.elapsed() < WaitMsecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    settle(100);
}

// The settings the run starts with: the volume-left line shown, an allowance tracked over the
// last month from the 1st, so that the poll and the preview both sum the log.
bool storeStartSettings(const QString &path, QString &error)
{
    StoreSession session(path);
    const bool ok = session.open()
        && session.executeNative(QStringLiteral(
            "insert into settings values ('whatsleft', '1'), ('maxmbsize', '100000'), ('logperiod', '1'), "
            "('logperiodtype', '2'), ('logstartday', '1')"));
    if (!ok)
        error = session.errorString();
    return ok;
}

QString storedValue(const QString &path, const QString &key)
{
    StoreSession session(path);
    if (!session.open())
        return QString();
    const std::optional<QueryResult> result
        = session.queryNative(QStringLiteral("select Settingvalue from settings where Settingname = '%1'").arg(key));
    return result && result->rowCount() == 1 ? result->value(0, QStringLiteral("Settingvalue")).toString() : QString();
}

// The fresh process: start-up's parts, the dialog created as start-up creates it, the first
// poll and the monitor's controls that follow it, then one first showing from the tray menu.
// Prints the times and the resident memory (all, anonymous) in kB at each step.
int firstShow(const QString &path)
{
    RunParts run(path);
    QString error;
    if (!run.start(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const Resident before = resident();
    QElapsedTimer timer;
    timer.start();
    run.createOptions();
    const double creation = double(timer.nsecsElapsed()) / 1e6;
    const Resident created = resident();
    run.poll();
    run.monitor().buildControls();
    settle(50);
    const Resident monitorBuilt = resident();
    PaintWatch watch;
    const PaintWatch::Times shown = watch.time(&run.options(), [&] { run.trayMenu().options->trigger(); });
    const Resident firstShown = resident();
    std::printf("%.3f %.3f %.3f %.3f", creation, shown.returned, shown.exposed, shown.painted);
    for (const Resident &r : {before, created, monitorBuilt, firstShown})
        std::printf(" %lld %lld", r.total, r.anonymous);
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 2 && arguments.at(1) == QStringLiteral("--first-show"))
        return firstShow(arguments.at(2));
    const int runs = arguments.size() > 1 ? std::max(1, arguments.at(1).toInt()) : 15;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Varnolt.db"));
    int rowCount = 0;
    QString error;
    if (!dir.isValid() || !TenYearLog::create(path, rowCount, error) || !storeStartSettings(path, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString display = qEnvironmentVariable("DISPLAY");
    std::printf("platform %s%s, %d log rows over ten years, %d runs\n", qPrintable(QGuiApplication::platformName()),
        display.isEmpty() ? "" : qPrintable(QStringLiteral(" (display %1)").arg(display)), rowCount, runs);

    // The first showing, each in a process of its own, with the memory at each step of it.
    enum Step { Before, Created, MonitorBuilt, FirstShown, Steps };
    QList<double> creation, firstReturned, firstExposed, firstPainted;
    QList<double> total[Steps], growth[Steps], anonymousGrowth[Steps];
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--first-show"), path});
        const QList<QByteArray> fields
            = child.waitForFinished(60000) ? child.readAllStandardOutput().trimmed().split(' ') : QList<QByteArray>();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || fields.size() != 4 + 2 * Steps) {
            std::fprintf(stderr, "the first-show process failed\n");
            return 1;
        }
        creation.append(fields.at(0).toDouble());
        firstReturned.append(fields.at(1).toDouble());
        firstExposed.append(fields.at(2).toDouble());
        firstPainted.append(fields.at(3).toDouble());
        for (int step = Before; step < Steps; ++step) {
            const auto kB = [&](int at, int field) { return fields.at(4 + 2 * at + field).toDouble(); };
            total[step].append(kB(step, 0) / 1024);
            growth[step].append(step == Before ? 0 : (kB(step, 0) - kB(step - 1, 0)) / 1024);
            anonymousGrowth[step].append(step == Before ? 0 : (kB(step, 1) - kB(step - 1, 1)) / 1024);
        }
    }

    RunParts run(path);
    if (!run.start(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    run.createOptions();
    run.poll();
    run.monitor().buildControls();
    FrmOptions &options = run.options();
    PaintWatch watch;
    const auto showFromTray = [&] { return watch.time(&options, [&] { run.trayMenu().options->trigger(); }); };
    (void)showFromTray();
    settle(100);

    QList<double> laterReturned, laterExposed, laterPainted;
    for (int i = 0; i < runs; ++i) {
        hideAndSettle(&options);
        const PaintWatch::Times shown = showFromTray();
        laterReturned.append(shown.returned);
        laterExposed.append(shown.exposed);
        laterPainted.append(shown.painted);
        settle(50);
    }

    // The Volume Left page chosen from the first page: the preview sums the tracked window of
    // the log. Once with the month the run tracks, once with a window longer than the log.
    const auto timePreview = [&](const QString &period, QList<double> &returned, QList<double> &painted) {
        options.txtperiod->setText(period);
        for (int i = 0; i < runs; ++i) {
            options.tbPages->setCurrentIndex(FrmOptions::GeneralPage);
            settle(50);
            const PaintWatch::Times shown
                = watch.time(options.lblpreview, [&] { options.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage); });
            returned.append(shown.returned);
            painted.append(shown.painted);
        }
    };
    QList<double> monthReturned, monthPainted, wholeReturned, wholePainted;
    timePreview(QStringLiteral("365"), wholeReturned, wholePainted);
    timePreview(run.settings().periodLengthText, monthReturned, monthPainted);
    const QString previewText = options.lblpreview->text();

    // OK, on the first page with nothing typed, and on the Volume Left page right after a new
    // allowance was typed, which the press on OK checks first; each time a value that differs
    // from the stored one, so that the rows really change. After OK the monitor's next poll
    // sums the log again.
    QList<double> okPlain, okTyped, okGone, nextPoll;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool typed = i % 2 == 1;
        hideAndSettle(&options);
        (void)showFromTray();
        options.tbPages->setCurrentIndex(typed ? FrmOptions::VolumeLeftPage : FrmOptions::GeneralPage);
        settle(50);
        const QString allowance = QString::number(100000 + 1000 * (i + 1));
        if (typed) {
            options.txtMaxMB->setFocus(Qt::MouseFocusReason);
            options.txtMaxMB->selectAll();
            options.txtMaxMB->insert(allowance);
        } else {
            options.txtMaxMB->setText(allowance);
        }
        const QString previewBefore = options.lblpreview->text();
        QElapsedTimer timer;
        timer.start();
        click(options.bttOK);
        const double stored = double(timer.nsecsElapsed()) / 1e6;
        // The typed allowance was checked, and the preview followed it, before OK stored it.
        const bool committed = storedValue(path, QStringLiteral("maxmbsize")) == options.txtMaxMB->text()
            && !options.isVisible() && run.settings().cachedVolume == 0
            && (!typed || options.lblpreview->text() != previewBefore);
        while (options.windowHandle()->isExposed() && timer.elapsed() < WaitMsecs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double gone = double(timer.nsecsElapsed()) / 1e6;
        (typed ? okTyped : okPlain).append(committed ? stored : -1);
        okGone.append(gone);
        timer.start();
        run.poll();
        nextPoll.append(run.settings().cachedVolume > 0 ? double(timer.nsecsElapsed()) / 1e6 : -1);
    }

    Report report;
    std::printf("\n  %-58s %11s %11s   goal\n", "Times", "median", "worst");
    report.time("Options... to the dialog painted, first show (new process)", figuresOf(firstPainted), GoalMsecs);
    Report::part("showOptions returned", figuresOf(firstReturned));
    Report::part("window exposed", figuresOf(firstExposed));
    report.time("Options... to the dialog painted, later shows", figuresOf(laterPainted), GoalMsecs);
    Report::part("showOptions returned", figuresOf(laterReturned));
    Report::part("window exposed", figuresOf(laterExposed));
    report.time("Volume Left page chosen to painted, preview of the month", figuresOf(monthPainted), GoalMsecs);
    Report::part("page switched, preview computed", figuresOf(monthReturned));
    report.time("Volume Left page chosen to painted, preview of 365 months", figuresOf(wholePainted), GoalMsecs);
    Report::part("page switched, preview computed (sums the whole log)", figuresOf(wholeReturned));
    report.time("OK to hidden, rows committed (first page)", figuresOf(okPlain), GoalMsecs);
    report.time("OK to hidden, rows committed (allowance typed, checked)", figuresOf(okTyped), GoalMsecs);
    Report::part("OK to the window unmapped", figuresOf(okGone));
    report.time("monitor's next poll after OK (sums the month again)", figuresOf(nextPoll), GoalMsecs);
    Report::info("dialog created at start-up, hidden (no goal)", figuresOf(creation));
    std::printf("  preview shown: \"%s\"\n", qPrintable(previewText));

    std::printf("\n  %-58s %9s %10s %12s\n",
        qPrintable(QStringLiteral("Resident memory (VmRSS), median of %1 new processes").arg(runs)), "total", "growth",
        "(anonymous)");
    const char *steps[Steps] = {"start-up's parts, before the dialog", "dialog created, hidden",
        "first poll, monitor's controls built", "dialog first shown"};
    for (int step = Before; step < Steps; ++step) {
        report.memory(steps[step], median(total[step]), median(growth[step]), median(anonymousGrowth[step]),
            step == Created ? MemoryGoalMB : -1);
    }
    return report.allMet() ? 0 : 2;
}
