// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/Transparency.h"

#include <QGuiApplication>
#include <QWidget>

#include <cmath>

namespace Transparency {

int alphaFor(int percent)
{
    return int(std::nearbyint((100 - percent) / 100.0 * 255));
}

bool isLayeringSupported()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

Result set(QWidget *window, int percent)
{
    if (!window)
        return Failed;
    const int alpha = alphaFor(percent);
    if (alpha < 0 || alpha > 255)
        return OutOfRange;
    window->setWindowOpacity(alpha / 255.0);
    return Done;
}

Result clear(QWidget *window)
{
    if (!window)
        return Failed;
    window->setWindowOpacity(1.0);
    return Done;
}

} // namespace Transparency
