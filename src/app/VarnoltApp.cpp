// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VarnoltApp.h"

#include "app/AppTexts.h"
#include "core/DatabaseStartup.h"
#include "core/InstanceLock.h"
#include "core/StopRequest.h"
#include "core/traffic/AllowanceNotices.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/RowJournal.h"
#include "core/traffic/SampleAdapters.h"
#include "core/traffic/TrafficLogWriter.h"
#include "core/traffic/VolumeLeftText.h"
#include "desktop/AppIcon.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/DesktopServices.h"
#include "desktop/MessageBox.h"
#include "desktop/Transparency.h"
#include "monitor/FrmMain.h"
#include "monitor/MonitorPoll.h"
#include "monitor/SoundModule.h"
#include "options/FrmOptions.h"
#include "router/RouterSource.h"
#include "shell/CornerPlacement.h"
#include "shell/MonitorMenu.h"
#include "shell/TrayIcon.h"
#include "shell/TrayMenu.h"
#include "stats/StatsModule.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>
#include <QWindow>

#include <cstdio>

namespace {
Q_LOGGING_CATEGORY(lcStartup, "varnolt.startup", QtWarningMsg)

// The monitor window's distance from the screen's top and right edges.
constexpr int CornerTwips = 200;
// How long shutdown tries to write the last row before it leaves it to the journal.
constexpr qint64 LastRowTriesMsecs = 5000;
} // namespace

VarnoltApp::VarnoltApp(QString databasePath, const QStringList &arguments, const Clock &clock,
    std::unique_ptr<InterfaceTable> table, QObject *parent)
    : QObject(parent)
    , m_databasePath(std::move(databasePath))
    , m_clock(clock)
    , m_log(DebugLog::switchGiven(arguments), DebugLog::defaultPath(), clock)
    , m_instanceLock(std::make_unique<InstanceLock>(m_databasePath))
    , m_writer(std::make_unique<TrafficLogWriter>(m_databasePath, m_openRow, m_clock, m_log))
    , m_table(table ? std::move(table) : std::make_unique<LinuxInterfaceTable>())
{
}

VarnoltApp::~VarnoltApp()
{
    // Before the options dialog, which it points to.
    delete m_stats.data();
}

bool VarnoltApp::start()
{
    if (!m_instanceLock->tryLock()) {
        std::fprintf(stderr, "%s\n", qPrintable(AppTexts::alreadyRunning()));
        MessageBox::information(DatabaseStartup::failureTitle(), AppTexts::alreadyRunning());
        return false;
    }
    createMonitor();
    m_openRow = OpenRow {};
    m_settings.cachedVolume = 0;
    const bool trayHeld = m_tray->add();
    connectTray();
    m_monitor->hide();
    m_monitor->setGraphMax(GraphScale::StartMax);

    DatabaseStartup startup(m_databasePath, m_clock, m_log, m_settings);
    if (!startup.run()) {
        failStart(startup.errorString());
        return false;
    }
    m_started = true;
    m_monitor->setHeightTwips(FrmMain::heightFor(m_settings));
    startPolling();
    createOptions();
    m_monitor->hide();
    m_log.write(QStringLiteral(": Init Done"));
    // The first reading right away, so that the tip and the window show figures from the
    // start instead of half a second later; the window is built after it.
    QTimer::singleShot(0, this, [this, trayHeld] {
        if (m_shutDown)
            return;
        m_poll->run();
        qCInfo(lcStartup) << "first poll done; tray icon"
                          << (m_tray->icon().isSystemTrayAvailable() ? "shown" : "absent")
                          << (TrayIcon::isStatusNotifierItem() ? "(StatusNotifierItem)" : "(XEmbed)");
        // Without a tray host there would be no way to reach the program: its window is
        // shown instead, with the first reading, and the icon appears as soon as a host starts.
        // In the tray, the window's controls wait until it is first shown.
        if (!trayHeld)
            toggleMonitor();
    });
    return true;
}

void VarnoltApp::createMonitor()
{
    m_monitor = std::make_unique<FrmMain>();
    m_monitor->setWindowIcon(AppIcon::icon());
    m_placement = std::make_unique<CornerPlacement>(*m_monitor, CornerTwips);
    m_tray = std::make_unique<TrayIcon>();
    m_trayMenu = std::make_unique<TrayMenu>();
    m_monitorMenu = std::make_unique<MonitorMenu>();
}

void VarnoltApp::connectTray()
{
    connect(m_tray.get(), &TrayIcon::doubleClicked, this, &VarnoltApp::trayDoubleClicked);
    connect(m_tray.get(), &TrayIcon::rightClicked, this, &VarnoltApp::trayRightClicked);
    connect(m_monitor.get(), &FrmMain::trayTipChanged, m_tray.get(), &TrayIcon::setTip);
    connect(m_monitor.get(), &FrmMain::storeProblemChanged, this, &VarnoltApp::storeProblemChanged);
    connect(m_monitor.get(), &FrmMain::sourceLineChanged, m_tray.get(), &TrayIcon::setSourceLine);
    // The menu names what its item will do, however the window came to be shown or hidden.
    connect(m_monitor.get(), &FrmMain::shownChanged, m_trayMenu.get(), &TrayMenu::setMonitorShown);
    connect(m_monitor.get(), &FrmMain::menuRequested, this, [this](const QPoint &at) { m_monitorMenu->exec(at); });
    connect(m_monitor.get(), &FrmMain::helpRequested, this, [this] { showHelp(); });
    connect(m_monitor.get(), &FrmMain::normalSizeRequested, this, &VarnoltApp::miniMaxi);
    connect(m_monitorMenu.get(), &MonitorMenu::commandChosen, this, &VarnoltApp::monitorCommand);

    TrayMenu &menu = *m_trayMenu;
    connect(menu.showLog, &QAction::triggered, this, [this] {
        if (!m_monitor->isShown() && m_monitor->isMini())
            miniMaxi(); // "Monitor &On." brings the window back at its normal size
        toggleMonitor();
    });
    connect(menu.resetCounters, &QAction::triggered, this, &VarnoltApp::resetCounters);
    connect(menu.showHelp, &QAction::triggered, this, [this] { showHelp(); });
    connect(menu.support, &QAction::triggered, this, [this] { showHelp(QStringLiteral("support")); });
    connect(menu.faq, &QAction::triggered, this, [this] { showHelp(QStringLiteral("faq")); });
    connect(menu.about, &QAction::triggered, this, &VarnoltApp::showAbout);
    connect(menu.exit, &QAction::triggered, this, [this] {
        m_log.write(QStringLiteral(": Exit chosen from popup menu."));
        m_exitChosen = true;
        shutdown();
    });
}

void VarnoltApp::startPolling()
{
    m_sampler = std::make_unique<SampleAdapters>(*m_table, m_settings.adapters, m_databasePath);
    m_sound = std::make_unique<SoundModule>(QCoreApplication::applicationDirPath());
    m_volumeLeft = std::make_unique<VolumeLeftText>(m_databasePath, m_clock, m_openRow.counters(), m_settings,
        m_sound.get(), QCoreApplication::applicationDirPath());
    m_journal = std::make_unique<RowJournal>(m_databasePath, &m_log);
    m_journal->setEnabled(qEnvironmentVariable("VARNOLT_JOURNAL") != QLatin1String("off"));
    m_router = std::make_unique<RouterSource>(m_clock);
    followRouter();
    m_poll = std::make_unique<MonitorPoll>(MonitorPoll::Parts {*m_sampler, m_openRow, m_settings, *m_writer, *m_journal,
                                               *m_volumeLeft, m_clock, *m_monitor, m_router.get()},
        FrmMain::PollIntervalMsecs);
    connect(&m_monitor->pollTimer(), &QTimer::timeout, this, [this] { m_poll->run(); });
    connect(m_monitor.get(), &FrmMain::figuresWanted, this, [this] { m_poll->showFigures(); });
    // After each poll: the desktop is told when the volume left falls below 30 % and 15 %.
    m_notices = std::make_unique<AllowanceNotices>(m_databasePath, m_clock, m_settings, m_openRow.counters());
    m_notifier = std::make_unique<DesktopNotifier>();
    m_notifier->setTrayFallback(&m_tray->icon());
    connect(&m_monitor->pollTimer(), &QTimer::timeout, this, [this] {
        if (const std::optional<AllowanceNotice> notice = m_notices->check(m_volumeLeft->alert()))
            m_notifier->notify(notice->summary, notice->body, notice->urgent);
    });
    m_monitor->pollTimer().start();
}

void VarnoltApp::createOptions()
{
    m_options = std::make_unique<FrmOptions>(FrmOptions::Parts {m_settings, m_clock, *m_volumeLeft, m_databasePath,
        QCoreApplication::applicationDirPath() + QLatin1String("/Varnolt.html"), &m_openRow.counters()});
    connect(m_trayMenu->options, &QAction::triggered, m_options.get(), &FrmOptions::showOptions);
    connect(m_trayMenu->showAll, &QAction::triggered, this, &VarnoltApp::openStats);
    // Only a pass that rebuilt the adapter list has the dialog refill its list, open or not.
    m_sampler->onListRebuilt([options = QPointer<FrmOptions>(m_options.get())] {
        if (options)
            options->followAdapters();
    });
    // OK: the monitor window takes the transparency and the height the options give.
    connect(m_options.get(), &FrmOptions::monitorTransparencyChosen, m_monitor.get(), [this](int percent) {
        if (percent <= 0)
            Transparency::clear(m_monitor.get());
        else
            Transparency::set(m_monitor.get(), percent);
    });
    connect(m_options.get(), &FrmOptions::optionsStored, m_monitor.get(), [this] {
        m_monitor->setHeightTwips(FrmMain::heightFor(m_settings));
        m_monitor->update();
        followRouter();
    });
}

void VarnoltApp::followRouter()
{
    // Only another choice starts again: a router's first answer adds nothing, so following
    // the same one anew at every OK would lose the bytes of an interval.
    if (m_settings.routerUrl == m_routerUrl)
        return;
    m_routerUrl = m_settings.routerUrl;
    m_router->follow(m_routerUrl, m_settings.routerName);
}

void VarnoltApp::failStart(const QString &description)
{
    // Asked to end while start-up waited (SIGTERM, SIGINT, SIGHUP): no box for what was asked.
    if (StopRequest::requested()) {
        m_tray->remove();
        m_monitor->close();
        return;
    }
    // Also for whoever started the program from a terminal or a script.
    std::fprintf(stderr, "%s\n", qPrintable(DatabaseStartup::failureText(description)));
    MessageBox::critical(DatabaseStartup::failureTitle(), DatabaseStartup::failureText(description));
    m_tray->remove();
    m_monitor->close();
}

void VarnoltApp::shutdown()
{
    if (!m_started || m_shutDown)
        return;
    m_shutDown = true;
    m_log.writeUnstamped(QStringLiteral("App Shutdown sequence"));
    m_monitor->pollTimer().stop();
    // A last reading, so that the row holds every byte up to this moment, not only up to
    // the last poll.
    if (m_poll)
        m_poll->takeReading();
    writeLastRow();
    m_log.writeUnstamped(QStringLiteral("Steps executed. App Cleaning up."));
    m_tray->remove();
    m_log.writeUnstamped(QStringLiteral("Removed icon."));
    disconnect(m_tray.get(), nullptr, this, nullptr);
    m_log.write(QStringLiteral(": Restored."));
    // Edits not confirmed with OK end with the run, as they always have.
    if (m_options)
        m_options->hide();
    if (m_stats)
        m_stats->close();
    m_log.write(QStringLiteral(": Unloading FrmMain"));
    m_monitor->close();
    m_log.write(QStringLiteral(": Unloaded."));
    m_log.write(QStringLiteral(": All forms unloaded."));
    Q_EMIT finished();
}

void VarnoltApp::writeLastRow()
{
    // Another program may hold the database for a moment, or space may come back: a few
    // seconds of tries before the row is left to the journal.
    QElapsedTimer trying;
    trying.start();
    bool written = m_writer->write();
    while (!written && trying.elapsed() < LastRowTriesMsecs) {
        QThread::msleep(250);
        written = m_writer->write();
    }
    bool journaled = false;
    if (m_journal) {
        journaled = !written && m_journal->write(m_openRow.counters(), m_clock.now());
        m_journal->close();
    }
    if (!written) {
        m_exitStatus = 1;
        // Lost, when the journal could not take it either: the traffic after what it held.
        const QDateTime upTo = m_journal ? m_journal->writtenUpTo() : QDateTime();
        const QDateTime rowStart = m_openRow.counters().rowStart;
        const QString message = AppTexts::lastRowNotWritten(
            m_writer->errorString(), journaled, upTo.isValid() && upTo > rowStart ? upTo : rowStart);
        m_log.write(QStringLiteral(": ") + message);
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

void VarnoltApp::endOfSession()
{
    if (m_shutDown)
        return; // a shutdown under way goes on as it is
    m_log.write(QStringLiteral(": Windows is shutting down !!"));
    if (!m_started) {
        // A start-up message box is open ("already running", a database error): the run
        // ends at once, without writing anything. Every event loop ends, the box's too.
        QCoreApplication::exit(1);
        return;
    }
    shutdown();
}

void VarnoltApp::storeProblemChanged(const StoreProblem &problem)
{
    m_tray->setStoreProblem(problem);
    const bool began = !problem.isEmpty() && m_toldProblem.isEmpty();
    // The window shows the line too. Without a tray host no message and no tip can say it, so
    // the window comes up, hidden or not, when the problem begins.
    if (began && !m_monitor->isShown() && !m_tray->icon().isSystemTrayAvailable())
        toggleMonitor();
    // On standard error once a problem, for whoever started the program from a terminal or a
    // script; again only when its words change or the journal fails too.
    if (problem.isEmpty()) {
        if (!m_toldProblem.isEmpty())
            std::fprintf(stderr, "Varnolt: traffic is logged again.\n");
        m_toldProblem = problem;
    } else if (began || problem.line() != m_toldProblem.line() || (m_toldProblem.journaled && !problem.journaled)) {
        QString text = problem.message();
        std::fprintf(stderr, "Varnolt: %s\n", qPrintable(text.replace(QLatin1Char('\n'), QLatin1String(". "))));
        m_toldProblem = problem;
    }
}

void VarnoltApp::trayDoubleClicked()
{
    if (!m_settings.dblClickChart()) {
        toggleMonitor();
    } else if (m_stats && m_stats->isVisible()) {
        m_stats->close();
    } else {
        openStats();
    }
}

void VarnoltApp::openStats()
{
    if (!m_options || m_shutDown)
        return; // start-up has not finished, or the run has ended
    if (!m_stats) {
        QString error;
        if (!m_makeStats)
            m_makeStats = StatsModule::load(error);
        if (!m_makeStats) {
            MessageBox::critical(QStringLiteral("Varnolt"), AppTexts::statsMissing(error));
            return;
        }
        FrmOptions *options = m_options.get();
        m_stats = m_makeStats({m_databasePath, m_clock, m_openRow.counters(), m_settings},
            {[options] { options->pointToExport(); }, [options] { options->cutExportBlinkShort(); }});
        connect(options, &FrmOptions::logCleared, m_stats, [stats = m_stats.data()] {
            QMetaObject::invokeMethod(stats, "refill");
        });
    }
    m_stats->show();
    m_stats->raise();
    m_stats->activateWindow();
}

void VarnoltApp::trayRightClicked()
{
    m_exitChosen = false;
    m_log.write(QStringLiteral(": Before."));
    m_trayMenu->setDefaultForChart(m_settings.dblClickChart());
    m_trayMenu->menu().exec(QCursor::pos());
    m_log.write(QStringLiteral(": Back."));
    if (m_exitChosen)
        return; // the run has ended: nothing may touch the windows any more
    m_log.write(QStringLiteral(": Impossible after shutdown."));
}

void VarnoltApp::monitorCommand(int command)
{
    switch (command) {
    case MonitorMenu::Move:
        if (QWindow *window = m_monitor->windowHandle())
            window->startSystemMove();
        break;
    case MonitorMenu::Hide:
        toggleMonitor();
        break;
    case MonitorMenu::Exit:
        m_log.write(QStringLiteral(": Exit chosen from system menu."));
        shutdown();
        break;
    case MonitorMenu::MiniMaxi:
        miniMaxi();
        break;
    default:
        break;
    }
}

void VarnoltApp::toggleMonitor()
{
    FrmMain &window = *m_monitor;
    const bool layering = Transparency::isLayeringSupported();
    if (window.isShown()) {
        window.setWindowFlag(Qt::WindowStaysOnTopHint, false);
        window.hide();
        if (layering)
            Transparency::clear(&window);
        return;
    }
    window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (layering) {
        Transparency::clear(&window);
        const int index = m_settings.monitorTransIndex;
        if (index >= 0 && index <= 3)
            Transparency::set(&window, index * 25);
    }
    // A window the window manager minimised counts as hidden: it is brought back.
    window.showNormal();
    window.raise();
    window.update();
}

void VarnoltApp::miniMaxi()
{
    if (m_monitor->heightTwips() > FrmMain::FullHeightTwips) {
        m_monitor->setHeightTwips(FrmMain::MiniHeight);
        if (!m_settings.dblClickChart())
            m_settings.stepDblClickTo(Settings::MiniMonitor);
    } else {
        m_monitor->setHeightTwips(m_settings.whatsLeft() ? FrmMain::VolumeLeftHeight : FrmMain::NormalHeight);
        m_settings.stepDblClickTo(Settings::MonitorWindow);
    }
    if (m_options)
        m_options->followDblClickState();
}

void VarnoltApp::resetCounters()
{
    if (m_poll)
        m_poll->closeRow();
}

void VarnoltApp::showHelp(const QString &section)
{
    QString help = QCoreApplication::applicationDirPath() + QLatin1String("/Varnolt.html");
    if (!section.isEmpty())
        help += QLatin1Char('#') + section;
    (void)DesktopServices::openHelpPage(help);
}

void VarnoltApp::showAbout()
{
    MessageBox::information(AppTexts::aboutTitle(), AppTexts::about());
}
