// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DesktopInput.h"
#include "DesktopScreen.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <functional>

// Debian's trayer as the tray on the test's own X server, a panel at the screen's
// bottom-right edge, and real mouse clicks (xdotool) on an icon in it.
class TrayHost
{
public:
    TrayHost() = default;
    ~TrayHost()
    {
        m_trayer.terminate();
        m_trayer.waitForFinished();
    }
    Q_DISABLE_COPY_MOVE(TrayHost)

    // Starts the panel and waits until it is the tray and the window manager has taken it on.
    void start()
    {
        m_trayer.start(QStringLiteral("trayer"),
            QStringLiteral("--edge bottom --align right --widthtype request --height 28 --tint 0x303640 "
                           "--transparent true --alpha 0")
                .split(QLatin1Char(' ')));
        QVERIFY2(m_trayer.waitForStarted(), "trayer (Debian package trayer) is needed");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        // A panel the window manager did not take on never shows the icon.
        QTRY_VERIFY2_WITH_TIMEOUT(
            !DesktopScreen::property(DesktopScreen::root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW).isEmpty(),
            "the window manager left the panel alone", 10000);
    }

    // The icon sits in the panel once it is embedded.
    static void waitForEmbedded(const QSystemTrayIcon &icon)
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTRY_VERIFY_WITH_TIMEOUT(icon.geometry().bottom() > screen.bottom() - 40, 10000);
    }

    // buttonArguments: what follows xdotool's "click", "3" or "--repeat 2 --delay 60 1".
    void click(const QSystemTrayIcon &icon, const QString &buttonArguments)
    {
        // Clicks of separate gestures must not pair up into a double-click: Qt pairs two
        // presses less than the interval apart (by the server's time, which xdotool has
        // reached when it returns), so the next gesture starts a millisecond after it.
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval() + 1;
        if (m_lastClick.isValid() && m_lastClick.elapsed() < interval)
            QTest::qWait(int(interval - m_lastClick.elapsed()));
        const QPoint centre = icon.geometry().center();
        DesktopInput::xdotool(QStringList {QStringLiteral("mousemove"), QString::number(centre.x()),
                                  QString::number(centre.y()), QStringLiteral("click")}
            + buttonArguments.split(QLatin1Char(' ')));
        m_lastClick.start();
    }

    // Right-clicks the icon and runs inMenu once its menu is open (the menu runs its own
    // event loop, so the test acts from inside it); returns when the menu has closed.
    void withMenu(const QSystemTrayIcon &icon, QMenu &menu, const std::function<void(QMenu &)> &inMenu)
    {
        bool ran = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (ran || !menu.isVisible())
                return;
            ran = true;
            inMenu(menu);
        });
        watch.start(50);
        click(icon, QStringLiteral("3"));
        QTRY_VERIFY_WITH_TIMEOUT(ran && !menu.isVisible(), 10000);
    }

    // Right-clicks the icon and clicks the item in its menu, as a hand does.
    void chooseFromMenu(const QSystemTrayIcon &icon, QMenu &menu, QAction *item)
    {
        withMenu(icon, menu, [item](QMenu &open) {
            // A menu is a window of its own, outside the window manager: Qt's place is the server's.
            DesktopInput::click(open.mapToGlobal(open.actionGeometry(item).center()));
        });
    }

private:
    QProcess m_trayer;
    QElapsedTimer m_lastClick;
};
