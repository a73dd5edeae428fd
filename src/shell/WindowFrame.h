// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <QRect>

#include <optional>

class QWidget;

// The frame (title bar and borders) that the window manager puts around a top-level window,
// as the display server has it: Qt learns it late and, while the window manager re-frames a
// window, may hold a stale position for a while.
namespace WindowFrame {

struct Frame
{
    QRect outer; // the frame's outer edges on the screen, borders included
    QMargins sides; // from the window to those edges; null while nothing frames the window
};

// Asks the window manager, before the window is shown, what frame it will give it. Nothing
// when it cannot tell: no window manager that answers such a request, or no X11 display.
std::optional<QMargins> estimate(QWidget &window);

// The window's frame now; nothing where the display server cannot be asked (not X11).
std::optional<Frame> current(QWidget &window);

} // namespace WindowFrame
