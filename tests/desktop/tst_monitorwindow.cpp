#include "TestDatabase.h"

#include "controls/Throughput.h"
#include "core/Clock.h"
#include "monitor/FrmMain.h"
#include "shell/VarnoltApp.h"

#include <QDir>
#include <QLabel>
#include <QScreen>
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

int barColumns(const Throughput &graph)
{
    const QImage picture = graph.picture();
    const QRgb background = picture.pixel(0, 0);
    int columns = 0;
    for (int x = 0; x < picture.width(); ++x)
        columns += picture.pixel(x, picture.height() - 1) != background ? 1 : 0;
    return columns;
}

} // namespace

// The real program's monitor on a real X server, metering real loopback traffic.
class TestMonitorWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsLiveTrafficOnBothGraphs();
};

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

    const QString folder = qEnvironmentVariable("VARNOLT_SCREENSHOTS");
    if (!folder.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(barColumns(*window->downGraph()) > 100, 30000);
        const QPixmap shot = window->screen()->grabWindow(window->winId());
        QVERIFY(shot.save(QDir(folder).filePath(QStringLiteral("monitor-window.png"))));
    }

    app.shutdown();
    QCOMPARE(
        db.rows(QStringLiteral("select count(*) from Log where BytesRcvd > 0")), QStringList {QStringLiteral("1")});
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
