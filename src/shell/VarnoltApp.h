#pragma once

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/InterfaceTable.h"
#include "core/RunCounters.h"
#include "core/Settings.h"

#include <QObject>

#include <memory>

class FrmMain;
class MonitorPoll;
class SampleAdapters;
class TrafficLogWriter;
class VolumeLeftText;
class WarningSound;

// The program's run: start-up, the state that lives for the whole run, and shutdown.
// main() creates one, starts it and runs the event loop until shutdown() has ended it.
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

    // Runs the start-up steps; on a database failure shows "Database Init Error!" and
    // returns false with nothing written.
    [[nodiscard]] bool start();

    // Closes the current log row and ends the run; safe to call more than once.
    void shutdown();

    const DebugLog &debugLog() const { return m_log; }
    Settings &settings() { return m_settings; }
    RunCounters &counters() { return m_counters; }
    QString databasePath() const { return m_databasePath; }
    // The monitor window, once start() has created it.
    FrmMain *monitor() const { return m_monitor.get(); }

Q_SIGNALS:
    void finished();

private:
    void startMonitor();

    QString m_databasePath;
    const Clock &m_clock;
    DebugLog m_log;
    Settings m_settings;
    RunCounters m_counters;
    std::unique_ptr<TrafficLogWriter> m_writer;
    std::unique_ptr<InterfaceTable> m_table;
    std::unique_ptr<SampleAdapters> m_sampler;
    std::unique_ptr<WarningSound> m_sound;
    std::unique_ptr<VolumeLeftText> m_volumeLeft;
    std::unique_ptr<FrmMain> m_monitor;
    std::unique_ptr<MonitorPoll> m_poll;
    bool m_started = false;
    bool m_shutDown = false;
};
