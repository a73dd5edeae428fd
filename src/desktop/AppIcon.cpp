// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/AppIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

namespace {

// The picture of varnolt.svg (the file the desktop entry names), drawn at whatever size is
// asked, so that it is sharp at any size without loading Qt's SVG module and plugins into a
// program that otherwise sits in the tray.
class AppIconEngine final : public QIconEngine
{
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const qreal size = std::min(rect.width(), rect.height());
        const QPointF origin = QRectF(rect).center() - QPointF(size / 2, size / 2);
        // The tile and the bars on the 64-unit grid of the scalable file.
        const auto unit = [&](qreal x, qreal y, qreal w, qreal h) {
            return QRectF(origin.x() + x * size / 64, origin.y() + y * size / 64, w * size / 64, h * size / 64);
        };
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0x26, 0x2b, 0x33));
        painter->drawRoundedRect(unit(0, 0, 64, 64), size / 6, size / 6);
        painter->setBrush(QColor(0, 220, 0));
        painter->drawRect(unit(10.24, 12.8, 17.92, 41.6));
        painter->setBrush(QColor(235, 40, 40));
        painter->drawRect(unit(35.84, 32, 17.92, 22.4));
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }

    QIconEngine *clone() const override { return new AppIconEngine; }
    QString key() const override { return QStringLiteral("varnolt"); }
};

} // namespace

namespace AppIcon {

QIcon icon()
{
    // Made once for the run: every window asks for it. Never destroyed, so that no picture
    // outlives the application object it needs.
    static const QIcon *const shared = new QIcon(new AppIconEngine);
    return *shared;
}

} // namespace AppIcon
