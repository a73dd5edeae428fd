// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/traffic/InterfaceTable.h"
#include "core/traffic/OpenRow.h"
#include "monitor/MonitorView.h"
#include "stats/StatsModule.h"

#include <QObject>
#include <QPointer>

#include <memory>

class AllowanceNotices;
class CornerPlacement;
class DesktopNotifier;
class FrmMain;
class FrmOptions;
class InstanceLock;
class MonitorMenu;
class MonitorPoll;
class RouterSource;
class RowJournal;
class SampleAdapters;
class TrafficLogWriter;
class TrayIcon;
class TrayMenu;
class VolumeLeftText;
class WarningSound;

// The program's run: start-up, the tray icon with its menu, the monitor window's own menu,
// the state that lives for the whole run, and shutdown. main() creates one, starts it and
// runs the event loop until shutdown() has ended it.
class VarnoltApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VarnoltApp)

public:
    // arguments: the command line without the program name. table: the interface table to
    // meter, the machine's own when none is given.
    VarnoltApp(QString databasePath, const QStringList &arguments, const Clock &clock,
        std::unique_ptr<InterfaceTable> table = nullptr, QObject *parent = nullptr);
    ~VarnoltApp() override;

    // Runs the start-up steps. Returns false, with nothing written, when another Varnolt
    // runs on the database or when the database fails ("Database Init Error!").
    [[nodiscard]] bool start();

    // Closes the current log row and ends the run; safe to call more than once. A row the
    // database still refuses after a few seconds stays in the journal for the next start,
    // and the run ends with a failure status.
    void shutdown();
    // 0, or 1 when the last row could not be written at shutdown.
    int exitStatus() const { return m_exitStatus; }
    // The desktop session ends, or the process is asked to end (SIGTERM, SIGINT, SIGHUP).
    void endOfSession();

    // What the tray icon, its menu and the monitor window's menu do.
    void toggleMonitor();
    // Shows the statistics window, made anew when none is open.
    void openStats();
    void miniMaxi();
    void resetCounters();
    void showHelp(const QString &section = QString());
    void showAbout();

    const DebugLog &debugLog() const { return m_log; }
    Settings &settings() { return m_settings; }
    const RunCounters &counters() const { return m_openRow.counters(); }
    OpenRow &openRow() { return m_openRow; }
    QString databasePath() const { return m_databasePath; }
    FrmMain *monitor() const { return m_monitor.get(); }
    TrayIcon *trayIcon() const { return m_tray.get(); }
    TrayMenu *trayMenu() const { return m_trayMenu.get(); }
    MonitorMenu *monitorMenu() const { return m_monitorMenu.get(); }
    FrmOptions *options() const { return m_options.get(); }
    // Inline: the downcast is compiled only where it is used, by code that links the window
    // (the program itself links nothing of the window's module).
    FrmStats *stats() const { return static_cast<FrmStats *>(m_stats.data()); }
    // Tests make the statistics window with the code they link rather than the module's.
    void setStatsMaker(StatsModule::Make make) { m_makeStats = make; }

Q_SIGNALS:
    void finished();

private:
    void createMonitor();
    void connectTray();
    void startPolling();
    void createOptions();
    void followRouter();
    void failStart(const QString &description);
    void writeLastRow();
    void trayDoubleClicked();
    void trayRightClicked();
    void monitorCommand(int command);
    void storeProblemChanged(const StoreProblem &problem);

    QString m_databasePath;
    const Clock &m_clock;
    DebugLog m_log;
    Settings m_settings;
    OpenRow m_openRow;
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<TrafficLogWriter> m_writer;
    std::unique_ptr<RowJournal> m_journal;
    std::unique_ptr<InterfaceTable> m_table;
    std::unique_ptr<SampleAdapters> m_sampler;
    std::unique_ptr<WarningSound> m_sound;
    std::unique_ptr<VolumeLeftText> m_volumeLeft;
    std::unique_ptr<RouterSource> m_router;
    QString m_routerUrl; // the one followed
    std::unique_ptr<MonitorPoll> m_poll;
    std::unique_ptr<AllowanceNotices> m_notices;
    std::unique_ptr<DesktopNotifier> m_notifier;
    // Menus before the window: a command chosen in a menu may end the run while the menu
    // is still on the stack, so windows are closed at shutdown and destroyed only here.
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<TrayMenu> m_trayMenu;
    std::unique_ptr<MonitorMenu> m_monitorMenu;
    std::unique_ptr<FrmMain> m_monitor;
    std::unique_ptr<CornerPlacement> m_placement; // watches m_monitor, so goes first
    std::unique_ptr<FrmOptions> m_options; // uses the poll's parts; reaches the monitor through the run
    StatsModule::Make m_makeStats = nullptr; // the module's, resolved at the first opening
    QPointer<QWidget> m_stats; // deletes itself when closed; reaches the options dialog through the run
    bool m_started = false;
    bool m_shutDown = false;
    bool m_exitChosen = false;
    int m_exitStatus = 0;
    StoreProblem m_toldProblem; // as last written to standard error
};
