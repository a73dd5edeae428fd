// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/ReadableColor.h"

#include <algorithm>
#include <cmath>

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

// A little more than asked: text is drawn with smoothed edges, and its colour is rounded to
// 8 bits a channel on the way to the screen.
constexpr double Headroom = 0.1;

} // namespace

double ReadableColor::luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double ReadableColor::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableColor::against(const QColor &colour, const QColor &background, double ratio)
{
    // Lighter on a background darker than the middle grey of contrast, darker on a lighter one.
    const bool lighten = luminance(background) < 0.18;
    // The styles fill the inside of a frame or group box a shade lighter than the window:
    // on a dark theme, the text must read on that shade too.
    const QColor lifted = lighten ? background.lighter(125) : background;
    auto reads = [&](const QColor &candidate, double wanted) {
        return contrast(candidate, background) >= wanted && contrast(candidate, lifted) >= wanted;
    };
    if (reads(colour, ratio))
        return colour;
    const QColor hsl = colour.toHsl();
    for (int step = 1; step <= 100; ++step) {
        const float lightness = lighten ? hsl.lightnessF() + (1 - hsl.lightnessF()) * float(step) / 100
                                        : hsl.lightnessF() * (1 - float(step) / 100);
        const QColor candidate
            = QColor::fromHslF(std::max(0.0f, hsl.hslHueF()), hsl.hslSaturationF(), lightness).toRgb();
        if (reads(candidate, ratio + Headroom))
            return candidate;
    }
    return lighten ? QColor(Qt::white) : QColor(Qt::black);
}
