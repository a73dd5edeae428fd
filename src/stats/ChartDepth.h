// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QPolygonF>
#include <QRectF>

#include <optional>

class QPainter;
class QSize;
struct ChartData;

// The statistics chart's depth, drawn by hand over the flat chart's plot area: an oblique
// projection receding up and to the right, with walls and a floor, boxes for bars, ribbons for
// lines and extruded areas, each with lighter top and darker side faces. Each series has a
// slot of the depth, Upload in front; stacked series share one slot.
class ChartDepth
{
public:
    struct Value
    {
        int row = 0;
        int series = 0;
    };

    // The length of the whole depth on screen, in pixels, for a chart of this size.
    static double length(const ChartData &data, const QSize &chartSize);
    // How far a point at this fraction of a depth of that length lies from the flat plot.
    static QPointF offset(double depth, double fraction);

    // The data drawn over plot, whose value axis runs from 0 to axisTop. A depth that would
    // move a point past half its category is shortened.
    ChartDepth(const ChartData &data, const QRectF &plot, double axisTop, double depth);

    // The walls' shades lie between the chart's background and its text colour (a light grey
    // on white by default).
    void setSurface(const QColor &base, const QColor &text);
    // Where the front face of a series' slot lies from the flat plot.
    QPointF frontOf(int series) const;

    // The walls with the value lines of the axis' ticks, then the solids back to front.
    void paint(QPainter *painter, int ticks) const;
    // The value whose face the user sees at a point of the scene, if any.
    std::optional<Value> valueAt(const QPointF &at) const;

private:
    // One face of a solid as painted, back to front; the mouse finds the value under it.
    struct Face
    {
        QPolygonF polygon;
        QColor fill;
        int series = 0;
        int firstRow = 0; // faces along a line span two rows, an area's front face all
        int lastRow = 0;
        double firstX = 0; // where firstRow and lastRow lie across the face
        double lastX = 0;
        bool edge = false; // an open line drawn in the fill colour, not a face
    };

    QPointF depthAt(double fraction) const { return offset(m_depth, fraction); }
    QList<Face> solids() const;
    void addLineOrArea(QList<Face> &faces, int series, double front, double back) const;
    void addBox(QList<Face> &faces, int row, int series, double front, double back) const;
    void addBand(
        QList<Face> &faces, int series, const QList<QPointF> &line, double front, double back, bool solid) const;
    void paintWalls(QPainter *painter, int ticks) const;
    QColor surface(double textShare) const;

    const ChartData &m_data;
    QRectF m_plot;
    double m_axisTop = 1;
    double m_depth = 0;
    QColor m_base {255, 255, 255};
    QColor m_text {0, 0, 0};
};
