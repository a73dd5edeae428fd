// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace {

// The same picture drawn by hand, for a Qt without its SVG plugins: the icon scales it to the
// size a tray or a window list asks for.
QPixmap draw()
{
    constexpr qreal size = 64;
    QPixmap picture {int(size), int(size)};
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x26, 0x2b, 0x33));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6, size / 6);
    const qreal bar = size * 0.28;
    const qreal floor = size * 0.85;
    painter.setBrush(QColor(0, 220, 0));
    painter.drawRect(QRectF(size * 0.16, size * 0.2, bar, floor - size * 0.2));
    painter.setBrush(QColor(235, 40, 40));
    painter.drawRect(QRectF(size * 0.56, size * 0.5, bar, floor - size * 0.5));
    painter.end();
    return picture;
}

// The scalable icon that the desktop entry also names, sharp at any size; the drawn one when
// this Qt cannot read SVG (its SVG plugins are a separate package).
QIcon load()
{
    QIcon scalable(QStringLiteral(":/varnolt/varnolt.svg"));
    if (!scalable.pixmap(64).isNull())
        return scalable;
    return QIcon(draw());
}

} // namespace

namespace AppIcon {

QIcon icon()
{
    // Made once for the run: every window asks for it, and a picture made anew each time
    // would stay in Qt's pixmap cache at every opening. Never destroyed, so that no
    // picture outlives the application object it needs.
    static const QIcon *const shared = new QIcon(load());
    return *shared;
}

} // namespace AppIcon
