// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPaintDevice>
#include <QtMath>

// Window layouts are given in twips, 1/1440 inch: 15 twips a pixel at 96 DPI.
namespace Twips {

inline int toPixels(int twips, const QPaintDevice &device)
{
    return qRound(twips * device.logicalDpiY() / 1440.0);
}

inline int fromPixels(int pixels, const QPaintDevice &device)
{
    return qRound(pixels * 1440.0 / device.logicalDpiY());
}

} // namespace Twips
