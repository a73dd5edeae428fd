#include "shell/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace AppIcon {

QIcon icon()
{
    // One picture, drawn once; the icon scales it to the size a tray or a window list asks for.
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
    return QIcon(picture);
}

} // namespace AppIcon
