// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DesktopScreen.h"

#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QWidget>

// What a user's hand does on the test's X server: real pointer and key events through
// xdotool, which go through the window manager's grabs and the server's focus as a user's do.
namespace DesktopInput {

inline void xdotool(const QStringList &arguments)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
}

inline void click(const QPoint &at, const QString &button = QStringLiteral("1"))
{
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
        button});
}

// Where a point of a control is on the screen, from the window's place that the X server
// holds (Qt may hold a stale one while the window manager re-frames the window).
inline QPoint onScreen(const QWidget &control, const QPoint &point)
{
    return DesktopScreen::windowOnScreen(*control.window()) + control.mapTo(control.window(), point);
}

inline void clickOn(const QWidget &control)
{
    click(onScreen(control, control.rect().center()));
}

// The window manager offers a close button whatever the window asks: the title bar's last,
// square, at its right end.
inline void clickCloseButton(const QWidget &window)
{
    const QRect frame = DesktopScreen::outerFrame(window);
    const int title = DesktopScreen::windowOnScreen(window).y() - frame.top();
    click({frame.right() - title / 2, frame.top() + title / 2});
}

// Keys as xdotool names them ("ctrl+a", "Escape", "alt+F4"), to the window with the focus.
inline void key(const QString &keys)
{
    xdotool({QStringLiteral("key"), keys});
}

inline void type(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

} // namespace DesktopInput
