// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeTraffic.h"
#include "OnscreenRun.h"

#include "core/Clock.h"
#include "monitor/FrmMain.h"

#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

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

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
