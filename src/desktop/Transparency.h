// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// The translucency of the monitor window, through the window's opacity.
namespace Transparency {

enum Result { Done = 0, OutOfRange = 1, Failed = 2 };

// 0 % → 255, 25 % → 191, 50 % → 128, 75 % → 64 (halves to even).
int alphaFor(int percent);
// True where the platform can change a window's opacity (not offscreen or minimal).
bool isLayeringSupported();
Result set(QWidget *window, int percent);
Result clear(QWidget *window);

} // namespace Transparency
