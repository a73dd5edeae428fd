// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopInput.h"
#include "FakeTraffic.h"
#include "OnscreenRun.h"

#include "core/Clock.h"
#include "monitor/FrmMain.h"
#include "shell/MonitorMenu.h"
#include "shell/TrayMenu.h"

#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <optional>

// The real program's monitor on a real X server under a real window manager, without a tray
// host, so that the window is shown at start.
class TestMonitorWindow : public QObject, private OnscreenRun
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { m_db = std::make_unique<TestDatabase>(); }
    void cleanup() { stopApp(); }
    void figuresOnTheScreenFromTheStart_data();
    void figuresOnTheScreenFromTheStart();
    void helpPictures();
    void miniMonitorAndBack();

private:
    SystemClock m_clock;
};

void TestMonitorWindow::initTestCase()
{
    startDesktop(false);
    QVERIFY2(!QSystemTrayIcon::isSystemTrayAvailable(), "these tests need a desktop without a tray host");
}

void TestMonitorWindow::figuresOnTheScreenFromTheStart_data()
{
    QTest::addColumn<bool>("frameAnnounced");
    QTest::newRow("frame asked for before the window shows") << true;
    QTest::newRow("frame learnt after it has shown") << false;
}

void TestMonitorWindow::figuresOnTheScreenFromTheStart()
{
    QFETCH(bool, frameAnnounced);
    // A window manager that cannot tell the frame beforehand.
    std::optional<DesktopScreen::WithoutFeature> unannounced;
    if (!frameAnnounced)
        unannounced.emplace("_NET_REQUEST_FRAME_EXTENTS");
    startApp(m_clock, FakeInterfaceTable::cards(1));
    FrmMain &window = *m_app->monitor();
    QTRY_COMPARE_WITH_TIMEOUT(DesktopScreen::missingFigures(window), QString(), 2000);

    // Framed by the window manager, and the frame 200 twips (13 pixels) from the screen's corner.
    const QRect screen = window.screen()->geometry();
    const QPoint corner(screen.right() - 13, screen.top() + 13);
    QTRY_COMPARE(DesktopScreen::outerFrame(window).topRight(), corner);
    QVERIFY(DesktopScreen::outerFrame(window).height() > window.height());

    // Hidden and shown again.
    m_app->toggleMonitor();
    m_app->toggleMonitor();
    QTRY_COMPARE(DesktopScreen::missingFigures(window), QString());
    QTRY_COMPARE(DesktopScreen::outerFrame(window).topRight(), corner);
}

// The help page's pictures of the window (VARNOLT_SCREENSHOTS names their folder): at the
// normal height and with the volume-left line, with full graphs, and with the "Not logged"
// line while another program holds the database's write lock.
void TestMonitorWindow::helpPictures()
{
    if (!qEnvironmentVariableIsSet("VARNOLT_SCREENSHOTS"))
        QSKIP("pictures only when VARNOLT_SCREENSHOTS names their folder");
    m_db->exec(QStringLiteral("insert into settings values ('maxmbsize', '500')"));
    startApp(m_clock, FakeInterfaceTable::cards(1));
    FakeTraffic traffic(*m_table);
    FrmMain &window = *m_app->monitor();
    QTRY_VERIFY_WITH_TIMEOUT(DesktopScreen::barsShown(*window.downGraph()) >= window.downGraph()->width() - 2, 40000);
    DesktopScreen::screenshot(
        QStringLiteral("monitor-shown.png"), DesktopScreen::outerFrame(window).adjusted(-20, -13, 13, 20));

    // Each new line's text drawn, within the frame grown for it.
    const auto drawn = [&window](const QLabel *line) {
        return line && DesktopScreen::inkOf(DesktopScreen::pixels(), *line) > 10
            && DesktopScreen::outerFrame(window).contains(DesktopScreen::onScreen(*line));
    };
    m_app->settings().whatsLeftState = 1;
    window.setHeightTwips(FrmMain::VolumeLeftHeight);
    QTRY_VERIFY(drawn(window.volumeLeftLabel()));
    DesktopScreen::screenshot(QStringLiteral("monitor-window.png"), DesktopScreen::outerFrame(window));

    StoreSession holder(m_db->path());
    QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
    m_app->resetCounters();
    QTRY_VERIFY(drawn(window.storeProblemLabel()));
    DesktopScreen::screenshot(QStringLiteral("monitor-not-logged.png"), DesktopScreen::outerFrame(window));
    holder.rollback();
}

// Last, as it starts a tray (trayer). With another program's window in front, a click into
// the monitor and Alt+Space open its menu, whose Mini/Maxi leaves a shorter frame that holds
// the rate line; a double-click, and the tray's "Monitor &Off." and "Monitor &On.", bring
// the normal frame back.
void TestMonitorWindow::miniMonitorAndBack()
{
    m_tray.start();
    startApp(m_clock, FakeInterfaceTable::cards(1));
    FrmMain &window = *m_app->monitor();
    m_app->toggleMonitor();
    QTRY_COMPARE_WITH_TIMEOUT(DesktopScreen::missingFigures(window), QString(), 2000);
    const int normal = DesktopScreen::outerFrame(window).height();
    QProcess other;
    other.start(
        QStringLiteral("xmessage"), {QStringLiteral("-geometry"), QStringLiteral("+100+100"), QStringLiteral("work")});
    const auto monitorActive = [&window] { return DesktopScreen::activeWindow() == quint32(window.winId()); };
    QTRY_VERIFY(DesktopScreen::activeWindow() != 0 && !monitorActive());

    MonitorMenu &menu = *m_app->monitorMenu();
    QImage before;
    QTimer inMenu;
    connect(&inMenu, &QTimer::timeout, &menu, [&] {
        // Drawn on the server, over what the screen showed before: its third item is chosen.
        const QRect area = menu.geometry();
        if (menu.isVisible()
            && DesktopScreen::changedShare(before.copy(area), DesktopScreen::pixels().copy(area)) > 0.3)
            for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
                QTest::keyClick(&menu, key);
    });
    inMenu.start(50);
    const auto rates
        = [&window] { return DesktopInput::onScreen(*window.rateLabel(), window.rateLabel()->rect().center()); };
    DesktopInput::click(rates());
    QTRY_VERIFY(monitorActive());
    before = DesktopScreen::pixels();
    DesktopInput::key(QStringLiteral("alt+space"));
    QTRY_VERIFY(DesktopScreen::outerFrame(window).height() < normal);
    QTRY_VERIFY(DesktopScreen::outerFrame(window).contains(DesktopScreen::onScreen(*window.rateLabel()))
        && DesktopScreen::inkOf(DesktopScreen::pixels(), *window.rateLabel()) > 10);

    DesktopInput::xdotool(
        QStringLiteral("mousemove %1 %2 click --repeat 2 --delay 60 1").arg(rates().x()).arg(rates().y()).split(u' '));
    QTRY_COMPARE(DesktopScreen::outerFrame(window).height(), normal);
    m_app->miniMaxi();
    TrayMenu &tray = *m_app->trayMenu();
    for (int choice = 0; choice < 2; ++choice) // off, then on
        m_tray.chooseFromMenu(m_app->trayIcon()->icon(), tray.menu(), tray.showLog);
    QTRY_COMPARE(DesktopScreen::missingFigures(window), QString());
    QTRY_COMPARE(DesktopScreen::outerFrame(window).height(), normal);
    other.kill();
    other.waitForFinished();
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
