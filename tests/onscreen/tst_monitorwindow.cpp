// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopScreen.h"
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "controls/Throughput.h"
#include "core/Clock.h"
#include "monitor/FrmMain.h"
#include "shell/TrayMenu.h"
#include "app/VarnoltApp.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>

namespace {

// Loopback traffic that swells and ebbs, so that the bars differ from poll to poll.
class LoopbackTraffic
{
public:
    LoopbackTraffic()
        : m_socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
        , m_sink(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        m_to.sin_family = AF_INET;
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof m_to;
        ::bind(m_sink, reinterpret_cast<sockaddr *>(&m_to), sizeof m_to);
        ::getsockname(m_sink, reinterpret_cast<sockaddr *>(&m_to), &size);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { send(); });
        m_timer.start(20);
    }
    ~LoopbackTraffic()
    {
        ::close(m_socket);
        ::close(m_sink);
    }

private:
    void send()
    {
        const int datagrams = 1 + int(8 * (1 + std::sin(m_tick++ / 12.0)));
        const QByteArray payload(1400, 'v');
        for (int i = 0; i < datagrams; ++i)
            ::sendto(m_socket, payload.constData(), std::size_t(payload.size()), 0,
                reinterpret_cast<const sockaddr *>(&m_to), sizeof m_to);
        char buffer[2048];
        while (::recv(m_sink, buffer, sizeof buffer, 0) > 0) { }
    }

    int m_socket;
    int m_sink;
    sockaddr_in m_to {};
    QTimer m_timer;
    int m_tick = 0;
};

// Traffic on a fake card that swells and ebbs, with less sent than received, so that both
// graphs get bars of many lengths.
class FakeTraffic
{
public:
    explicit FakeTraffic(FakeInterfaceTable &table)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, &table] {
            table.rows[0].in += quint64(20'000 + 15'000 * std::sin(m_tick / 4.0));
            table.rows[0].out += quint64(6'000 + 5'000 * std::cos(m_tick++ / 3.0));
        });
        m_timer.start(100);
    }

private:
    QTimer m_timer;
    int m_tick = 0;
};

// 200 twips from the screen's top and right edges: 13 pixels at 96 DPI.
QPoint cornerOf(const FrmMain &window)
{
    const QRect screen = window.screen()->geometry();
    return {screen.right() - 13, screen.top() + 13};
}

int barColumns(const Throughput &graph)
{
    const QImage picture = graph.picture();
    const QRgb background = picture.pixel(0, 0);
    // Bars start at the bottom row, or at the top row on an inverted graph.
    const int edge = graph.inverted() ? 0 : picture.height() - 1;
    int columns = 0;
    for (int x = 0; x < picture.width(); ++x)
        columns += picture.pixel(x, edge) != background ? 1 : 0;
    return columns;
}

} // namespace

// The real program's monitor on a real X server under a real window manager, without a tray
// host, so that the window is shown at start.
class TestMonitorWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void figuresOnTheScreenFromTheStart_data();
    void figuresOnTheScreenFromTheStart();
    void uploadBarsHangFromTheTop();
    void showsLiveTrafficOnBothGraphs();
};

void TestMonitorWindow::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
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
    TestDatabase db;
    auto table = std::make_unique<FakeInterfaceTable>();
    table->rows = FakeInterfaceTable::cards(1);
    SystemClock clock;
    QElapsedTimer sinceStart;
    sinceStart.start();
    VarnoltApp app(db.path(), {}, clock, std::move(table));
    QVERIFY(app.start());
    FrmMain &window = *app.monitor();
    QTRY_COMPARE_WITH_TIMEOUT(DesktopScreen::missingFigures(window), QString(), 2000);
    qInfo("the figures were on the screen %lld ms after the start", sinceStart.elapsed());
    QCOMPARE(app.trayMenu()->showLog->text(), QStringLiteral("Monitor &Off."));

    // Framed by the window manager, and the frame 200 twips from the screen's corner.
    QTRY_COMPARE(DesktopScreen::outerFrame(window).topRight(), cornerOf(window));
    QVERIFY(DesktopScreen::outerFrame(window).height() > window.height());

    // Hidden and shown again.
    app.toggleMonitor();
    QVERIFY(!window.isVisible());
    QCOMPARE(app.trayMenu()->showLog->text(), QStringLiteral("Monitor &On."));
    app.toggleMonitor();
    QTRY_COMPARE(DesktopScreen::missingFigures(window), QString());
    QTRY_COMPARE(DesktopScreen::outerFrame(window).topRight(), cornerOf(window));
}

void TestMonitorWindow::uploadBarsHangFromTheTop()
{
    TestDatabase db;
    auto table = std::make_unique<FakeInterfaceTable>();
    table->rows = FakeInterfaceTable::cards(1);
    FakeTraffic traffic(*table);
    SystemClock clock;
    VarnoltApp app(db.path(), {}, clock, std::move(table));
    QVERIFY(app.start());
    FrmMain &window = *app.monitor();

    // A dozen polls' bars on the screen.
    const auto barsOnScreen = [&](const Throughput &graph) {
        const QList<DesktopScreen::Bar> bars = DesktopScreen::barsOf(DesktopScreen::pixels(), graph);
        return std::count_if(bars.begin(), bars.end(), [](const DesktopScreen::Bar &bar) { return bar.first >= 0; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(barsOnScreen(*window.upGraph()) >= 24 && barsOnScreen(*window.downGraph()) >= 24, 15000);

    const QImage screen = DesktopScreen::pixels();
    const int bottom = window.upGraph()->height() - 1;
    // Upload: every bar starts at the top row; shorter ones end above the bottom.
    bool shorter = false;
    for (const DesktopScreen::Bar &bar : DesktopScreen::barsOf(screen, *window.upGraph())) {
        if (bar.first < 0)
            continue;
        QCOMPARE(bar.first, 0);
        QVERIFY(!bar.broken);
        shorter = shorter || bar.last < bottom;
    }
    QVERIFY(shorter);
    // Download: every bar ends at the bottom row; shorter ones start below the top.
    shorter = false;
    for (const DesktopScreen::Bar &bar : DesktopScreen::barsOf(screen, *window.downGraph())) {
        if (bar.first < 0)
            continue;
        QCOMPARE(bar.last, bottom);
        QVERIFY(!bar.broken);
        shorter = shorter || bar.first > 0;
    }
    QVERIFY(shorter);
}

void TestMonitorWindow::showsLiveTrafficOnBothGraphs()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    TestDatabase db;
    db.exec(QStringLiteral("insert into settings values ('Adapter0', 'lo'), ('whatsleft', '1'), ('maxmbsize', '500')"));
    SystemClock clock;
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(app.start());
    FrmMain *window = app.monitor();
    QVERIFY(window);
    QTRY_VERIFY(window->isVisible()); // shown with the first reading
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->heightTwips(), FrmMain::VolumeLeftHeight);

    LoopbackTraffic traffic;
    QTRY_VERIFY_WITH_TIMEOUT(barColumns(*window->downGraph()) > 40 && barColumns(*window->upGraph()) > 40, 15000);
    QVERIFY2(window->rateLabel()->text().startsWith(QLatin1String("U: ")), qPrintable(window->rateLabel()->text()));
    QVERIFY(!window->rateLabel()->text().contains(QLatin1String("D: 0,0")));
    QVERIFY(window->downloadLabel()->text().endsWith(QLatin1String("KB"))
        || window->downloadLabel()->text().endsWith(QLatin1String("MB")));
    QVERIFY(window->volumeLeftLabel()->text().endsWith(QLatin1String("Left.")));
    QVERIFY(window->trayTip().contains(QLatin1String(" - Avg: ")));

    if (qEnvironmentVariableIsSet("VARNOLT_SCREENSHOTS")) {
        QTRY_VERIFY_WITH_TIMEOUT(barColumns(*window->downGraph()) > 100, 30000);
        DesktopScreen::screenshot(QStringLiteral("monitor-window.png"), DesktopScreen::outerFrame(*window));
        // The red line of a row the database refuses: another program holds its write lock.
        StoreSession holder(db.path());
        QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
        app.resetCounters();
        QTRY_VERIFY(window->storeProblemLabel() && window->storeProblemLabel()->isVisible());
        QTest::qWait(500); // framed again at its new height
        DesktopScreen::screenshot(QStringLiteral("monitor-not-logged.png"), DesktopScreen::outerFrame(*window));
        holder.rollback();
    }

    app.shutdown();
    QCOMPARE(
        db.rows(QStringLiteral("select count(*) from Log where BytesRcvd > 0")), QStringList {QStringLiteral("1")});
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
