// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/ChartDepth.h"

#include "stats/ChartData.h"

#include <QPainter>
#include <QSize>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The depth recedes up and to the right, so the solids show their front, top and right side;
// steeply, so that it takes height rather than width from the categories.
constexpr double DepthAngle = 58 * std::numbers::pi / 180;
// The whole depth moves a point this far to the right at most, in categories: the deepest
// series' points still stand over their own label, never over the next one's.
constexpr double MaxShift = 0.42;

double maxDepth(double category)
{
    return MaxShift * category / std::cos(DepthAngle);
}

QColor topShade(const QColor &colour)
{
    return colour.lighter(135);
}

QColor sideShade(const QColor &colour)
{
    return colour.darker(140);
}

} // namespace

double ChartDepth::length(const ChartData &data, const QSize &chartSize)
{
    const int rows = data.rows();
    if (rows == 0)
        return 0;
    const int slots = data.stacked ? 1 : data.seriesCount();
    const double categoryGuess = std::max(8.0, chartSize.width() * 0.7 / rows);
    const double shortSide = std::min(chartSize.width(), chartSize.height());
    return std::min(
        std::clamp(slots * categoryGuess * 0.6, 0.05 * shortSide, 0.12 * shortSide), maxDepth(categoryGuess));
}

QPointF ChartDepth::offset(double depth, double fraction)
{
    return QPointF(std::cos(DepthAngle), -std::sin(DepthAngle)) * (depth * fraction);
}

ChartDepth::ChartDepth(const ChartData &data, const QRectF &plot, double axisTop, double depth)
    : m_data(data)
    , m_plot(plot)
    , m_axisTop(axisTop)
    , m_depth(data.rows() > 0 ? std::min(depth, maxDepth(plot.width() / data.rows())) : depth)
{
}

void ChartDepth::setSurface(const QColor &base, const QColor &text)
{
    m_base = base;
    m_text = text;
}

QColor ChartDepth::surface(double textShare) const
{
    const auto mix = [textShare](int base, int text) { return int(std::lround(base + (text - base) * textShare)); };
    return QColor(
        mix(m_base.red(), m_text.red()), mix(m_base.green(), m_text.green()), mix(m_base.blue(), m_text.blue()));
}

QPointF ChartDepth::frontOf(int series) const
{
    const int slots = m_data.stacked ? 1 : m_data.seriesCount();
    const int slot = m_data.stacked ? 0 : series;
    const double gap = m_data.kind == ChartData::Line ? 0.25 : 0.12;
    return depthAt((slot + gap) / std::max(slots, 1));
}

QList<ChartDepth::Face> ChartDepth::solids() const
{
    QList<Face> faces;
    const int rows = m_data.rows();
    const int seriesCount = m_data.seriesCount();
    if (rows == 0 || seriesCount == 0)
        return faces;
    const int slots = m_data.stacked ? 1 : seriesCount;
    const double gap = m_data.kind == ChartData::Line ? 0.25 : 0.12;
    // The first series stands in front, where the small Upload is not hidden by the larger ones.
    for (int slot = slots - 1; slot >= 0; --slot) {
        const double front = (slot + gap) / slots;
        const double back = (slot + 1 - gap) / slots;
        const int first = m_data.stacked ? 0 : slot;
        const int last = m_data.stacked ? seriesCount - 1 : slot;
        if (m_data.kind == ChartData::Bars) {
            // Left to right, bottom to top: each box hides the side of the one before it.
            for (int row = 0; row < rows; ++row) {
                for (int series = first; series <= last; ++series)
                    addBox(faces, row, series, front, back);
            }
            continue;
        }
        for (int series = first; series <= last; ++series)
            addLineOrArea(faces, series, front, back);
    }
    return faces;
}

void ChartDepth::addLineOrArea(QList<Face> &faces, int series, double front, double back) const
{
    const int rows = m_data.rows();
    const double category = m_plot.width() / rows;
    QList<QPointF> upper;
    QList<QPointF> lower;
    for (int row = 0; row < rows; ++row) {
        const double x = m_plot.left() + (row + 0.5) * category;
        const double base = m_plot.bottom() - m_data.sumBelow(row, series) / m_axisTop * m_plot.height();
        const double top = base - m_data.value(row, series) / m_axisTop * m_plot.height();
        if (rows == 1) {
            upper << QPointF(x - 0.3 * category, top) << QPointF(x + 0.3 * category, top);
            lower << QPointF(x - 0.3 * category, base) << QPointF(x + 0.3 * category, base);
        } else {
            upper << QPointF(x, top);
            lower << QPointF(x, base);
        }
    }
    const QColor colour = m_data.colour(series);
    if (m_data.kind == ChartData::Line) {
        addBand(faces, series, upper, front, back, false);
        // The front edge in the series' own colour, so that the band reads as a line.
        Face edge;
        edge.polygon = QPolygonF(upper).translated(depthAt(front));
        edge.fill = colour;
        edge.edge = true;
        faces << edge;
        return;
    }
    const QPointF near = depthAt(front);
    const QPointF far = depthAt(back);
    Face cap;
    cap.polygon = {upper.last() + near, lower.last() + near, lower.last() + far, upper.last() + far};
    cap.fill = sideShade(colour);
    cap.series = series;
    cap.firstRow = cap.lastRow = rows - 1;
    faces << cap;
    addBand(faces, series, upper, front, back, true);
    // The front face is the nearest part of the solid: painted last, it hides the faces that turn away.
    Face face;
    face.polygon = QPolygonF(upper).translated(near);
    for (qsizetype i = lower.size() - 1; i >= 0; --i)
        face.polygon << lower.at(i) + near;
    face.fill = colour;
    face.series = series;
    face.firstRow = 0;
    face.lastRow = rows - 1;
    face.firstX = upper.first().x() + near.x();
    face.lastX = upper.last().x() + near.x();
    faces << face;
}

void ChartDepth::addBox(QList<Face> &faces, int row, int series, double front, double back) const
{
    const double v = m_data.value(row, series);
    if (v <= 0)
        return;
    const double category = m_plot.width() / m_data.rows();
    const double x0 = m_plot.left() + (row + 0.2) * category;
    const double x1 = m_plot.left() + (row + 0.8) * category;
    const double y1 = m_plot.bottom() - m_data.sumBelow(row, series) / m_axisTop * m_plot.height();
    const double y0 = y1 - v / m_axisTop * m_plot.height();
    const QPointF near = depthAt(front);
    const QPointF far = depthAt(back);
    const QColor colour = m_data.colour(series);

    Face face;
    face.series = series;
    face.firstRow = face.lastRow = row;
    face.polygon = {QPointF(x1, y0) + near, QPointF(x1, y1) + near, QPointF(x1, y1) + far, QPointF(x1, y0) + far};
    face.fill = sideShade(colour);
    faces << face;
    face.polygon = {QPointF(x0, y0) + near, QPointF(x1, y0) + near, QPointF(x1, y0) + far, QPointF(x0, y0) + far};
    face.fill = topShade(colour);
    faces << face;
    face.polygon = QPolygonF(QRectF(QPointF(x0, y0), QPointF(x1, y1))).translated(near);
    face.fill = colour;
    faces << face;
}

void ChartDepth::addBand(
    QList<Face> &faces, int series, const QList<QPointF> &line, double front, double back, bool solid) const
{
    const QPointF near = depthAt(front);
    const QPointF far = depthAt(back);
    const QPointF depth = far - near;
    const QColor colour = m_data.colour(series);
    const int rows = m_data.rows();
    // Left to right: a piece further right is nearer wherever two pieces cover the same pixels.
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF along = line.at(i + 1) - line.at(i);
        // Which side of the band faces the eye: its top, or its underside on a steep rise.
        const bool topSide = along.x() * depth.y() - along.y() * depth.x() < 0;
        if (solid && !topSide)
            continue;
        Face face;
        face.polygon = {line.at(i) + near, line.at(i + 1) + near, line.at(i + 1) + far, line.at(i) + far};
        face.fill = topSide ? topShade(colour) : sideShade(colour);
        face.series = series;
        face.firstRow = rows == 1 ? 0 : int(i);
        face.lastRow = rows == 1 ? 0 : int(i) + 1;
        face.firstX = line.at(i).x() + near.x();
        face.lastX = line.at(i + 1).x() + near.x();
        faces << face;
    }
}

void ChartDepth::paintWalls(QPainter *painter, int ticks) const
{
    const QRectF &plot = m_plot;
    const QPointF back = depthAt(1);
    const QPolygonF backWall = QPolygonF(plot).translated(back);
    const QPolygonF leftWall {plot.bottomLeft(), plot.topLeft(), plot.topLeft() + back, plot.bottomLeft() + back};
    const QPolygonF floor {plot.bottomLeft(), plot.bottomRight(), plot.bottomRight() + back, plot.bottomLeft() + back};
    // Shades between the chart's background and its text, so that the walls follow the palette.
    painter->setPen(QPen(surface(0.3), 1));
    painter->setBrush(surface(0.03));
    painter->drawPolygon(backWall);
    painter->setBrush(surface(0.075));
    painter->drawPolygon(leftWall);
    painter->setBrush(surface(0.13));
    painter->drawPolygon(floor);

    // The value lines run along the left wall and across the back, where the tallest solids meet them.
    painter->setPen(QPen(surface(0.2), 1));
    for (int tick = 1; tick < ticks; ++tick) {
        const double y = plot.bottom() - plot.height() * tick / (ticks - 1);
        const QPointF left(plot.left(), y);
        painter->drawLine(left, left + back);
        painter->drawLine(left + back, QPointF(plot.right(), y) + back);
    }
}

void ChartDepth::paint(QPainter *painter, int ticks) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintWalls(painter, ticks);
    for (const Face &face : solids()) {
        if (face.edge) {
            painter->setPen(QPen(face.fill, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->setBrush(Qt::NoBrush);
            painter->drawPolyline(face.polygon);
            continue;
        }
        painter->setPen(QPen(face.fill.darker(150), 0.8));
        painter->setBrush(face.fill);
        painter->drawPolygon(face.polygon);
    }
    painter->restore();
}

std::optional<ChartDepth::Value> ChartDepth::valueAt(const QPointF &at) const
{
    const QList<Face> faces = solids();
    // The last face painted under the mouse is the one the user sees there.
    for (auto face = faces.crbegin(); face != faces.crend(); ++face) {
        if (face->edge || !face->polygon.containsPoint(at, Qt::OddEvenFill))
            continue;
        int row = face->firstRow;
        if (face->lastRow != face->firstRow && face->lastX != face->firstX) {
            const double t = (at.x() - face->firstX) / (face->lastX - face->firstX);
            row = std::clamp(
                int(std::lround(face->firstRow + t * (face->lastRow - face->firstRow))), face->firstRow, face->lastRow);
        }
        return Value {row, face->series};
    }
    return std::nullopt;
}
