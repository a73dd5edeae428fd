// SPDX-License-Identifier: GPL-3.0-or-later
#include "DebugLogLines.h"
#include "OnscreenRun.h"

#include "core/Clock.h"
#include "monitor/FrmMain.h"
#include "shell/TrayMenu.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

// The program in a real tray: Debian's trayer on the test's own X server, driven with real
// mouse clicks (xdotool), with a fake interface table whose counters the test moves.
class TestTrayIcon : public QObject, private OnscreenRun
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startDesktop(); }
    void init();
    void cleanup() { stopApp(); }
    void trayBringsTheWindowBack_data();
    void trayBringsTheWindowBack();
    void transparencyOnShowClearedOnHide();
    void singleClickIgnoredMenuResetsAndExits();

private:
    void click(const QString &buttonArguments) { m_tray.click(m_app->trayIcon()->icon(), buttonArguments); }
    void doubleClick() { click(QStringLiteral("--repeat 2 --delay 60 1")); }
    void withTrayMenu(const std::function<void(QMenu &)> &inMenu)
    {
        m_tray.withMenu(m_app->trayIcon()->icon(), m_app->trayMenu()->menu(), inMenu);
    }
    QStringList logLines() const { return debugLogLines(m_app->debugLog().path()); }

    SystemClock m_clock;
};

void TestTrayIcon::init()
{
    QFile::remove(QDir(m_home.path()).filePath(QStringLiteral("varnolt.log")));
    m_db = std::make_unique<TestDatabase>();
    startApp(m_clock, FakeInterfaceTable::cards(1), {QStringLiteral("/debug")});
}

enum class Hiding { CloseButton, Minimised, TrayMenu, DoubleClick };

void TestTrayIcon::trayBringsTheWindowBack_data()
{
    QTest::addColumn<Hiding>("hiding");
    QTest::newRow("the window manager's close button") << Hiding::CloseButton;
    QTest::newRow("minimised by the window manager") << Hiding::Minimised;
    QTest::newRow("the tray menu") << Hiding::TrayMenu;
    QTest::newRow("moved, then a double-click on the icon") << Hiding::DoubleClick;
}

// A double-click on the icon shows the monitor kept above other windows by the window manager,
// 200 twips (13 pixels at 96 DPI) from the screen's top-right corner. However it goes out of
// sight, the tray menu offers to show it, and a double-click brings it back where it was.
void TestTrayIcon::trayBringsTheWindowBack()
{
    QFETCH(Hiding, hiding);
    FrmMain *window = m_app->monitor();
    const QAction *item = m_app->trayMenu()->showLog;
    const auto onTop = [window] {
        return DesktopScreen::property(xcb_window_t(window->winId()), "_NET_WM_STATE", XCB_ATOM_ATOM)
            .contains(DesktopScreen::atom("_NET_WM_STATE_ABOVE"));
    };
    doubleClick();
    QTRY_VERIFY(window->isVisible());
    QTRY_VERIFY(onTop());
    QTRY_COMPARE(DesktopScreen::missingFigures(*window), QString());
    const QRect screen = window->screen()->geometry();
    QTRY_COMPARE(DesktopScreen::outerFrame(*window).topRight(), QPoint(screen.right() - 13, screen.top() + 13));
    QPoint place = DesktopScreen::outerFrame(*window).topLeft();

    const QString id = QString::number(window->winId());
    switch (hiding) {
    case Hiding::CloseButton:
        DesktopInput::clickCloseButton(*window);
        break;
    case Hiding::Minimised:
        DesktopInput::xdotool({QStringLiteral("windowminimize"), id});
        break;
    case Hiding::TrayMenu:
        withTrayMenu([](QMenu &menu) { QTest::keyClick(&menu, Qt::Key_O); });
        break;
    case Hiding::DoubleClick: {
        // Moved through the window manager, as a hand drags it.
        const QPoint by(-300, 200);
        const QPoint to = DesktopScreen::windowOnScreen(*window) + by;
        DesktopInput::xdotool({QStringLiteral("windowmove"), id, QString::number(to.x()), QString::number(to.y())});
        place += by;
        QTRY_COMPARE(DesktopScreen::outerFrame(*window).topLeft(), place);
        doubleClick();
        QTRY_VERIFY(!window->isVisible());
        break;
    }
    }
    QTRY_COMPARE(item->text(), QStringLiteral("Monitor &On."));
    QVERIFY(!window->isShown());

    doubleClick();
    QTRY_COMPARE(item->text(), QStringLiteral("Monitor &Off."));
    QVERIFY(window->isShown());
    // Once painted, the window has seen its frame; where the program asks for it (Qt's
    // geometry) and where the server shows it must agree, so it is not placed anew.
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(DesktopScreen::outerFrame(*window).topLeft() == place
        && DesktopScreen::windowOnScreen(*window) == window->geometry().topLeft());
    QTRY_VERIFY(onTop());
}

// The opacity the compositor is told (the window's _NET_WM_WINDOW_OPACITY), for each
// transparency chosen while the window was hidden; a hide clears it. The offscreen platform
// has no opacity, so only a real X server shows this.
void TestTrayIcon::transparencyOnShowClearedOnHide()
{
    FrmMain *window = m_app->monitor();
    const auto opacity = [window] {
        const auto id = xcb_window_t(window->windowHandle()->winId());
        return DesktopScreen::property(id, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL).value(0, 0xFFFFFFFFu);
    };
    const QList<quint32> alphas {255, 191, 128, 64}; // 0, 25, 50 and 75 %
    for (int index = 0; index < alphas.size(); ++index) {
        m_app->settings().monitorTransIndex = index;
        m_app->toggleMonitor();
        QCOMPARE(opacity() / 0x01010101u, alphas[index]);
        m_app->toggleMonitor();
        QCOMPARE(opacity(), 0xFFFFFFFFu);
    }
}

void TestTrayIcon::singleClickIgnoredMenuResetsAndExits()
{
    QSystemTrayIcon &icon = m_app->trayIcon()->icon();
    QVERIFY(!m_app->monitor()->isVisible()); // the monitor starts hidden when the tray holds the icon
    // An XEmbed icon (trayer): a single click does nothing, only the double-click counts.
    QVERIFY(!TrayIcon::isStatusNotifierItem());
    QSignalSpy activated(&icon, &QSystemTrayIcon::activated);
    click(QStringLiteral("1"));
    QVERIFY(activated.wait());
    QVERIFY(!m_app->monitor()->isVisible());

    QTRY_VERIFY(m_app->counters().rowStart.isValid()); // the first sample is taken
    m_table->rows[0].in += 5000;
    QTRY_VERIFY(m_app->counters().curIn - m_app->counters().baseIn == 5000);

    withTrayMenu([this](QMenu &menu) {
        QCOMPARE(menu.defaultAction(), m_app->trayMenu()->showLog);
        if (qEnvironmentVariableIsSet("VARNOLT_SCREENSHOTS")) {
            // The help page's picture of the menu shows the Help submenu open as well.
            auto *help = qobject_cast<QMenu *>(m_app->trayMenu()->showHelp->associatedObjects().value(0));
            QVERIFY(help);
            QTest::keyClick(&menu, Qt::Key_H);
            QVERIFY(QTest::qWaitForWindowExposed(help));
            const QRect shot = menu.geometry().united(m_app->trayIcon()->icon().geometry()).united(help->geometry());
            DesktopScreen::screenshot(QStringLiteral("tray-menu.png"), shot.adjusted(-8, -8, 8, 8));
            QTest::keyClick(help, Qt::Key_Escape);
            QTRY_VERIFY(!help->isVisible());
        }
        QTest::keyClick(&menu, Qt::Key_R);
    });
    QCOMPARE(m_db->rows(QStringLiteral("select BytesRcvd from Log where BytesRcvd > 0")),
        QStringList {QStringLiteral("5000")});
    // After a command that leaves the run going, the code after the menu goes on.
    const QStringList afterReset = logLines();
    const qsizetype back
        = afterReset.indexOf(QStringLiteral(": Back."), afterReset.indexOf(QStringLiteral(": Before.")));
    QCOMPARE(afterReset.value(back + 1), QStringLiteral(": Impossible after shutdown."));

    QSignalSpy finished(m_app.get(), &VarnoltApp::finished);
    withTrayMenu([](QMenu &menu) { QTest::keyClick(&menu, Qt::Key_X); });
    QCOMPARE(finished.size(), 1);
    // After Exit, nothing touches the windows once the menu has returned.
    const QStringList lines = logLines();
    QCOMPARE(lines.mid(lines.lastIndexOf(QStringLiteral(": Before."))).first(2),
        QStringList({QStringLiteral(": Before."), QStringLiteral(": Exit chosen from popup menu.")}));
    QCOMPARE(lines.last(2), QStringList({QStringLiteral(": All forms unloaded."), QStringLiteral(": Back.")}));
}

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
