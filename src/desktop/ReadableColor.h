// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

// Colours that carry a meaning (a warning's red, a link's blue) must stay readable on the
// user's theme, light or dark: the contrast of text with its background, as WCAG 2 reckons
// it, is at least 4.5 to 1.
namespace ReadableColor {

constexpr double TextContrast = 4.5;

// Relative luminance, 0 for black to 1 for white.
double luminance(const QColor &colour);
// 1 for the same luminance, 21 for black on white.
double contrast(const QColor &a, const QColor &b);
// The colour itself where it reads on the background; else its hue made lighter (on a dark
// background) or darker (on a light one), step by step, until it does.
QColor against(const QColor &colour, const QColor &background, double ratio = TextContrast);

} // namespace ReadableColor
