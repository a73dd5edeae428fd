#include "shell/VarnoltApp.h"

#include "core/DatabaseStartup.h"
#include "core/LinuxInterfaceTable.h"
#include "core/SampleAdapters.h"
#include "core/TrafficLogWriter.h"
#include "core/VolumeLeftText.h"
#include "monitor/FrmMain.h"
#include "monitor/MonitorPoll.h"
#include "monitor/SoundEffectWarning.h"
#include "monitor/Twips.h"
#include "shell/MessageBox.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

VarnoltApp::VarnoltApp(QString databasePath, const QStringList &arguments, const Clock &clock,
    std::unique_ptr<InterfaceTable> table, QObject *parent)
    : QObject(parent)
    , m_databasePath(std::move(databasePath))
    , m_clock(clock)
    , m_log(DebugLog::switchGiven(arguments), DebugLog::defaultPath(), clock)
    , m_writer(std::make_unique<TrafficLogWriter>(m_databasePath, m_counters, m_clock, m_log))
    , m_table(table ? std::move(table) : std::make_unique<LinuxInterfaceTable>())
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
    startMonitor();
    m_log.write(QStringLiteral(": Init Done"));
    return true;
}

void VarnoltApp::startMonitor()
{
    m_sampler = std::make_unique<SampleAdapters>(*m_table, m_settings.adapters, m_counters, m_databasePath);
    m_sound = std::make_unique<SoundEffectWarning>();
    m_volumeLeft = std::make_unique<VolumeLeftText>(
        m_databasePath, m_clock, m_counters, m_settings, m_sound.get(), QCoreApplication::applicationDirPath());
    m_monitor = std::make_unique<FrmMain>();
    m_poll = std::make_unique<MonitorPoll>(
        MonitorPoll::Parts {*m_sampler, m_counters, m_settings, *m_writer, *m_volumeLeft, m_clock, *m_monitor},
        FrmMain::PollIntervalMsecs);
    m_monitor->setGraphMax(m_poll->scale().max());
    m_monitor->setHeightTwips(m_settings.whatsLeft() ? FrmMain::VolumeLeftHeight : FrmMain::NormalHeight);
    connect(&m_monitor->pollTimer(), &QTimer::timeout, this, [this] { m_poll->run(); });

    // Until the tray icon holds the window, it is shown at start, 200 twips in from the
    // screen's top-right corner.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int margin = Twips::toPixels(200, *m_monitor);
        m_monitor->move(area.right() - margin - m_monitor->frameGeometry().width(), area.top() + margin);
    }
    m_monitor->show();
    m_monitor->pollTimer().start();
}

void VarnoltApp::shutdown()
{
    if (!m_started || m_shutDown)
        return;
    m_shutDown = true;
    m_log.writeUnstamped(QStringLiteral("App Shutdown sequence"));
    if (m_monitor)
        m_monitor->pollTimer().stop();
    (void)m_writer->write();
    m_log.writeUnstamped(QStringLiteral("Steps executed. App Cleaning up."));
    m_log.writeUnstamped(QStringLiteral("Removed icon."));
    m_log.write(QStringLiteral(": Restored."));
    m_monitor.reset();
    m_log.write(QStringLiteral(": All forms unloaded."));
    Q_EMIT finished();
}
