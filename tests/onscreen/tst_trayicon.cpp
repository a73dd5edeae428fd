// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopInput.h"
#include "DesktopScreen.h"
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"
#include "TrayHost.h"

#include "core/Clock.h"
#include "monitor/FrmMain.h"
#include "desktop/MessageBox.h"
#include "shell/MonitorMenu.h"
#include "shell/TrayIcon.h"
#include "shell/TrayMenu.h"
#include "app/VarnoltApp.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>

// The program in a real tray: Debian's trayer on the test's own X server, driven with real
// mouse clicks (xdotool), with a fake interface table whose counters the test moves.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void iconEmbeddedWithTheLiveStatus();
    void doubleClickShowsAndHidesTheMonitor();
    void menuFollowsTheWindow_data();
    void menuFollowsTheWindow();
    void transparencyOnShowClearedOnHide_data();
    void transparencyOnShowClearedOnHide();
    void miniMaxiStepsTheDoubleClickState();
    void menuResetsTheCountersAndExits();
    void windowMenuExitEndsWithAllFormsUnloaded();
    void secondInstanceEndsWithAMessage();

private:
    void waitForEmbedded() { TrayHost::waitForEmbedded(m_app->trayIcon()->icon()); }
    void click(const QString &buttonArguments) { m_tray.click(m_app->trayIcon()->icon(), buttonArguments); }
    void withTrayMenu(const std::function<void(QMenu &)> &inMenu)
    {
        m_tray.withMenu(m_app->trayIcon()->icon(), m_app->trayMenu()->menu(), inMenu);
    }
    QStringList logLines() const;
    // 200 twips (13 pixels at 96 DPI) from the screen's top and right edges.
    QPoint corner() const;

    TrayHost m_tray;
    QTemporaryDir m_home;
    std::unique_ptr<TestDatabase> m_db;
    FakeInterfaceTable *m_table = nullptr;
    SystemClock m_clock;
    std::unique_ptr<VarnoltApp> m_app;
};

void TestTrayIcon::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    m_tray.start();
    qputenv("HOME", m_home.path().toUtf8());
}

void TestTrayIcon::init()
{
    QFile::remove(QDir(m_home.path()).filePath(QStringLiteral("varnolt.log")));
    m_db = std::make_unique<TestDatabase>();
    auto table = std::make_unique<FakeInterfaceTable>();
    table->rows = FakeInterfaceTable::cards(1);
    m_table = table.get();
    m_app
        = std::make_unique<VarnoltApp>(m_db->path(), QStringList {QStringLiteral("/debug")}, m_clock, std::move(table));
}

void TestTrayIcon::cleanup()
{
    m_app.reset();
    m_db.reset();
}

QStringList TestTrayIcon::logLines() const
{
    QFile file(QDir(m_home.path()).filePath(QStringLiteral("varnolt.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        // Stamped lines begin with the date and time; the designed text follows ": ".
        const qsizetype stamp = text.indexOf(QLatin1String(": "));
        if (!text.isEmpty())
            lines << (text.first(1).at(0).isDigit() && stamp > 0 ? text.mid(stamp) : text);
    }
    return lines;
}

QPoint TestTrayIcon::corner() const
{
    const QRect screen = m_app->monitor()->screen()->geometry();
    return {screen.right() - 13, screen.top() + 13};
}

void TestTrayIcon::iconEmbeddedWithTheLiveStatus()
{
    QVERIFY(m_app->start());
    QSystemTrayIcon &icon = m_app->trayIcon()->icon();
    QVERIFY(icon.isVisible());
    waitForEmbedded();
    QVERIFY(!m_app->monitor()->isVisible()); // the monitor starts hidden when the tray holds the icon

    m_table->rows[0].in += 3 * 1048576;
    QTRY_VERIFY(icon.toolTip().startsWith(QLatin1String("3.00 MB - Avg: ")));
    QCOMPARE(icon.toolTip(), m_app->monitor()->trayTip().left(TrayIcon::TipLength));

    // The tip holds 63 characters: one of 63 shows whole, a longer one is cut.
    const QString tip63 = QString(60, QLatin1Char('x')) + QStringLiteral("end");
    m_app->trayIcon()->setTip(tip63);
    QCOMPARE(icon.toolTip(), tip63);
    m_app->trayIcon()->setTip(tip63 + QStringLiteral(" and more"));
    QCOMPARE(icon.toolTip(), tip63);
}

void TestTrayIcon::doubleClickShowsAndHidesTheMonitor()
{
    QVERIFY(m_app->start());
    waitForEmbedded();
    FrmMain *window = m_app->monitor();
    // An XEmbed icon (trayer): a single click does nothing, only the double-click counts.
    QVERIFY(!TrayIcon::isStatusNotifierItem());
    click(QStringLiteral("1"));
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QVERIFY(!window->isVisible());
    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_VERIFY(window->isVisible());
    QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(m_app->trayMenu()->showLog->text(), QStringLiteral("Monitor &Off."));
    QTRY_COMPARE(DesktopScreen::missingFigures(*window), QString());
    // The window manager's frame, title bar and borders, in the corner.
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topRight(), corner());
    QVERIFY(DesktopScreen::outerFrame(*window).top() < window->geometry().top());
    // Traffic that swells and ebbs for a few seconds, so that the screenshot shows it.
    int tick = 0;
    QTimer traffic;
    connect(&traffic, &QTimer::timeout, this, [&] {
        m_table->rows[0].in += quint64(20'000 + 15'000 * std::sin(tick / 4.0));
        m_table->rows[0].out += quint64(6'000 + 5'000 * std::cos(tick++ / 3.0));
    });
    traffic.start(100);
    // A screenshot waits until the graphs are full.
    QTest::qWait(qEnvironmentVariableIsSet("VARNOLT_SCREENSHOTS") ? 33000 : 2000);
    DesktopScreen::screenshot(
        QStringLiteral("monitor-shown.png"), DesktopScreen::outerFrame(*window).adjusted(-20, -13, 13, 20));

    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(m_app->trayMenu()->showLog->text(), QStringLiteral("Monitor &On."));
    // Shown again where it was.
    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_VERIFY(window->isVisible());
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topRight(), corner());

    // Moved elsewhere through the window manager, it comes back there after a hide.
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(100); // as a hand would, once the window is up
    const QRect frame = DesktopScreen::outerFrame(*window);
    const QPoint by(-300, 200);
    const QPoint to = DesktopScreen::windowOnScreen(*window) + by;
    DesktopInput::xdotool({QStringLiteral("windowmove"), QString::number(window->winId()), QString::number(to.x()),
        QString::number(to.y())});
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topLeft(), frame.topLeft() + by);
    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_VERIFY(!window->isVisible());
    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_VERIFY(window->isVisible());
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topLeft(), frame.topLeft() + by);
    QTest::qWait(200); // and stays there
    QCOMPARE(DesktopScreen::outerFrame(*window).topLeft(), frame.topLeft() + by);
}

enum class Hiding { CloseButton, AltF4, Minimised, WindowMenu, TrayMenu, DoubleClick };

void TestTrayIcon::menuFollowsTheWindow_data()
{
    QTest::addColumn<Hiding>("hiding");
    QTest::newRow("the window manager's close button") << Hiding::CloseButton;
    QTest::newRow("Alt+F4") << Hiding::AltF4;
    QTest::newRow("minimised by the window manager") << Hiding::Minimised;
    QTest::newRow("the window's menu: Hide") << Hiding::WindowMenu;
    QTest::newRow("the tray menu") << Hiding::TrayMenu;
    QTest::newRow("a double-click on the icon") << Hiding::DoubleClick;
}

// However the window goes out of sight, the tray menu offers to show it, and from the tray
// it comes back to its place.
void TestTrayIcon::menuFollowsTheWindow()
{
    QFETCH(Hiding, hiding);
    QVERIFY(m_app->start());
    waitForEmbedded();
    FrmMain *window = m_app->monitor();
    const QAction *item = m_app->trayMenu()->showLog;
    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_VERIFY(window->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(item->text(), QStringLiteral("Monitor &Off."));
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topRight(), corner());

    const QString id = QString::number(window->winId());
    switch (hiding) {
    case Hiding::CloseButton: {
        // The close button is the title bar's last, square, at its right end.
        const QRect frame = DesktopScreen::outerFrame(*window);
        const int title = window->geometry().top() - frame.top();
        DesktopInput::xdotool({QStringLiteral("mousemove"), QString::number(frame.right() - title / 2),
            QString::number(frame.top() + title / 2), QStringLiteral("click"), QStringLiteral("1")});
        break;
    }
    case Hiding::AltF4:
        DesktopInput::xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
        DesktopInput::xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
        break;
    case Hiding::Minimised:
        DesktopInput::xdotool({QStringLiteral("windowminimize"), id});
        break;
    case Hiding::WindowMenu:
        for (QAction *action : m_app->monitorMenu()->actions()) {
            if (action->text() == QStringLiteral("Hide"))
                action->trigger();
        }
        break;
    case Hiding::TrayMenu:
        withTrayMenu([](QMenu &menu) { QTest::keyClick(&menu, Qt::Key_O); });
        break;
    case Hiding::DoubleClick:
        click(QStringLiteral("--repeat 2 --delay 60 1"));
        break;
    }
    QTRY_COMPARE(item->text(), QStringLiteral("Monitor &On."));
    QVERIFY(!window->isShown());

    click(QStringLiteral("--repeat 2 --delay 60 1"));
    QTRY_COMPARE(item->text(), QStringLiteral("Monitor &Off."));
    QVERIFY(window->isShown());
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topRight(), corner());
}

void TestTrayIcon::transparencyOnShowClearedOnHide_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("alpha");
    QTest::newRow("0 %") << 0 << 255;
    QTest::newRow("25 %") << 1 << 191;
    QTest::newRow("50 %") << 2 << 128;
    QTest::newRow("75 %") << 3 << 64;
}

void TestTrayIcon::transparencyOnShowClearedOnHide()
{
    QFETCH(int, index);
    QFETCH(int, alpha);
    QVERIFY(m_app->start());
    m_app->settings().monitorTransIndex = index; // changed while hidden: applied on the next show
    m_app->toggleMonitor();
    QCOMPARE(qRound(m_app->monitor()->windowOpacity() * 255), alpha);
    m_app->toggleMonitor();
    QCOMPARE(m_app->monitor()->windowOpacity(), 1.0);
}

void TestTrayIcon::miniMaxiStepsTheDoubleClickState()
{
    m_db->exec(QStringLiteral("insert into settings values ('whatsleft', '1')"));
    QVERIFY(m_app->start());
    FrmMain *window = m_app->monitor();
    QCOMPARE(window->heightTwips(), 1830);
    m_app->miniMaxi();
    QCOMPARE(window->heightTwips(), 50);
    QCOMPARE(m_app->settings().dblClickState(), 2);
    m_app->miniMaxi();
    QCOMPARE(window->heightTwips(), 1830);
    QCOMPARE(m_app->settings().dblClickState(), 0);

    m_app->settings().whatsLeftState = 0;
    m_app->settings().stepDblClickTo(1); // stepped in the dialog, not stored: the chart flag stays off
    m_app->miniMaxi();
    QCOMPARE(m_app->settings().dblClickState(), 2);
    m_app->miniMaxi();
    QCOMPARE(window->heightTwips(), 1560);
    QCOMPARE(m_app->settings().dblClickState(), 0);
}

void TestTrayIcon::menuResetsTheCountersAndExits()
{
    QVERIFY(m_app->start());
    waitForEmbedded();
    QTRY_VERIFY(m_app->counters().rowStart.isValid()); // the first sample is taken
    m_table->rows[0].in += 5000;
    QTRY_VERIFY(m_app->counters().curIn - m_app->counters().baseIn == 5000);

    withTrayMenu([this](QMenu &menu) {
        QCOMPARE(menu.defaultAction(), m_app->trayMenu()->showLog);
        QStringList captions;
        for (const QAction *action : menu.actions())
            captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(captions,
            QStringList({QStringLiteral("Monitor &On"), QStringLiteral("&Volume Statistics..."),
                QStringLiteral("&Reset Counters"), QStringLiteral("O&ptions..."), QStringLiteral("&Help"),
                QStringLiteral("-"), QStringLiteral("E&xit")}));
        const QRect shot = menu.geometry().united(m_app->trayIcon()->icon().geometry()).adjusted(-8, -8, 8, 8);
        if (qEnvironmentVariableIsSet("VARNOLT_SCREENSHOTS")) {
            // The help page's picture of the menu shows the Help submenu open as well.
            QMenu *help = m_app->trayMenu()->showHelp->associatedObjects().isEmpty()
                ? nullptr
                : qobject_cast<QMenu *>(m_app->trayMenu()->showHelp->associatedObjects().first());
            QVERIFY(help);
            QTest::keyClick(&menu, Qt::Key_H);
            QTRY_VERIFY(help->isVisible());
            QTest::qWait(200); // drawn
            DesktopScreen::screenshot(
                QStringLiteral("tray-menu.png"), shot.united(help->geometry().adjusted(-8, -8, 8, 8)));
            QTest::keyClick(help, Qt::Key_Escape);
            QTRY_VERIFY(!help->isVisible());
        }
        QTest::keyClick(&menu, Qt::Key_R);
    });
    QCOMPARE(m_db->rows(QStringLiteral("select BytesRcvd from Log where BytesRcvd > 0")),
        QStringList {QStringLiteral("5000")});
    QTRY_COMPARE(m_app->monitor()->downloadLabel()->text(), QStringLiteral("0.0 KB"));
    QCOMPARE(logLines().mid(logLines().indexOf(QStringLiteral(": Before."))).mid(0, 1),
        QStringList {QStringLiteral(": Before.")});
    QVERIFY(logLines().contains(QStringLiteral(": Impossible after shutdown.")));

    m_table->rows[0].in += 700;
    QTRY_VERIFY(m_app->counters().curIn - m_app->counters().baseIn == 700);
    QSignalSpy finished(m_app.get(), &VarnoltApp::finished);
    withTrayMenu([](QMenu &menu) { QTest::keyClick(&menu, Qt::Key_X); });
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m_db->rows(QStringLiteral("select BytesRcvd from Log where BytesRcvd > 0 order by BytesRcvd")),
        QStringList({QStringLiteral("700"), QStringLiteral("5000")}));
    QVERIFY(!m_app->monitor()->isVisible());
    QVERIFY(!m_app->trayIcon()->icon().isVisible());

    const QStringList lines = logLines();
    const QStringList ending = lines.mid(lines.lastIndexOf(QStringLiteral(": Before.")));
    QCOMPARE(
        ending.first(2), QStringList({QStringLiteral(": Before."), QStringLiteral(": Exit chosen from popup menu.")}));
    QCOMPARE(ending.at(2), QStringLiteral("App Shutdown sequence"));
    QCOMPARE(ending.last(2), QStringList({QStringLiteral(": All forms unloaded."), QStringLiteral(": Back.")}));
}

void TestTrayIcon::windowMenuExitEndsWithAllFormsUnloaded()
{
    QVERIFY(m_app->start());
    m_app->toggleMonitor();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->monitor()));
    QStringList captions;
    for (const QAction *action : m_app->monitorMenu()->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(captions,
        QStringList({QStringLiteral("Move"), QStringLiteral("Hide"), QStringLiteral("Mini/Maxi Monitor."),
            QStringLiteral("-"), QStringLiteral("Exit")}));
    QSignalSpy finished(m_app.get(), &VarnoltApp::finished);
    Q_EMIT m_app->monitorMenu()->commandChosen(MonitorMenu::Exit);
    QCOMPARE(finished.size(), 1);
    const QStringList lines = logLines();
    const QStringList starting {QStringLiteral(": Upgrading database: Step1."),
        QStringLiteral(": Upgrading database: Step2."), QStringLiteral(": Upgrading database: YEAR"),
        QStringLiteral(": Upgrading database: Done"), QStringLiteral(": Reading Settings"),
        QStringLiteral(": Settings Read"), QStringLiteral(": Init Done")};
    QStringList first = lines.first(7);
    first[2].replace(QRegularExpression(QStringLiteral("\\d{4}$")), QStringLiteral("YEAR")); // the view's date
    QCOMPARE(first, starting);
    const QStringList ending {
        QStringLiteral(": Exit chosen from system menu."), QStringLiteral("App Shutdown sequence")};
    QVERIFY(lines.join(QLatin1Char('\n')).contains(ending.join(QLatin1Char('\n'))));
    QCOMPARE(lines.last(6),
        QStringList({QStringLiteral("Steps executed. App Cleaning up."), QStringLiteral("Removed icon."),
            QStringLiteral(": Restored."), QStringLiteral(": Unloading FrmMain"), QStringLiteral(": Unloaded."),
            QStringLiteral(": All forms unloaded.")}));
}

void TestTrayIcon::secondInstanceEndsWithAMessage()
{
    QVERIFY(m_app->start());
    const QStringList before = m_db->rows(QStringLiteral("select * from Log"));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    VarnoltApp second(m_db->path(), {}, m_clock, std::make_unique<FakeInterfaceTable>());
    QVERIFY(!second.start());
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Varnolt"));
    QCOMPARE(shown.first().text, VarnoltApp::alreadyRunningText());
    QCOMPARE(m_db->rows(QStringLiteral("select * from Log")), before);
    QVERIFY(!second.monitor());
}

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
