#pragma once

#include <QMargins>

#include <optional>

class QWidget;

// The frame (title bar and borders) that the window manager puts around a top-level window.
namespace FrameExtents {

// Asks the window manager, before the window is shown, what frame it will give it. Nothing
// when it cannot tell: no window manager that answers such a request, or no X11 display.
std::optional<QMargins> estimate(QWidget &window);

} // namespace FrameExtents
