#include "shell/VarnoltApp.h"

#include "core/DatabaseStartup.h"
#include "core/TrafficLogWriter.h"
#include "shell/MessageBox.h"

VarnoltApp::VarnoltApp(QString databasePath, const QStringList &arguments, const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_databasePath(std::move(databasePath))
    , m_clock(clock)
    , m_log(DebugLog::switchGiven(arguments), DebugLog::defaultPath(), clock)
    , m_writer(std::make_unique<TrafficLogWriter>(m_databasePath, m_counters, m_clock, m_log))
{
}

VarnoltApp::~VarnoltApp() = default;

bool VarnoltApp::start()
{
    m_counters = RunCounters {};
    DatabaseStartup startup(m_databasePath, m_clock, m_log, m_settings);
    if (!startup.run()) {
        MessageBox::critical(DatabaseStartup::failureTitle(), DatabaseStartup::failureText(startup.errorString()));
        return false;
    }
    m_started = true;
    m_log.write(QStringLiteral(": Init Done"));
    return true;
}

void VarnoltApp::shutdown()
{
    if (!m_started || m_shutDown)
        return;
    m_shutDown = true;
    m_log.writeUnstamped(QStringLiteral("App Shutdown sequence"));
    (void)m_writer->write();
    m_log.writeUnstamped(QStringLiteral("Steps executed. App Cleaning up."));
    m_log.writeUnstamped(QStringLiteral("Removed icon."));
    m_log.write(QStringLiteral(": Restored."));
    m_log.write(QStringLiteral(": All forms unloaded."));
    Q_EMIT finished();
}
