// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QChartView>
#include <QColor>
#include <QList>
#include <QPolygonF>
#include <QStringList>

class QBarCategoryAxis;
class QGraphicsSimpleTextItem;
class QValueAxis;
class StatsGrid;

// The statistics window's chart: one category per grid row, one series per grid series, as
// areas, lines or bars, flat or with depth. The depth is drawn over the flat chart's own plot
// area (an oblique projection with shaded top and side faces), so the axes, the legend and
// the value tips are the same in both; Qt Charts has no 3D of its own, and a 3D engine would
// cost the window several times the program's memory.
class StatsChart final : public QChartView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatsChart)

public:
    // The order of ChartChoices::Kind, so that the window passes its list index.
    enum Kind { Area, Line, Bars };

    explicit StatsChart(QWidget *parent = nullptr);
    ~StatsChart() override;

    // Rebuilds the chart from the grid. stacked puts the series on top of one another (the
    // grid then holds Upload and Download alone); unit is the value axis' title ("MB", "GB",
    // "kBps", "Kbps"). A grid without rows shows a note instead of the chart.
    void showGrid(const StatsGrid &grid, Kind kind, bool threeD, bool stacked, const QString &unit);

    // The window lays its buttons over the chart's lower right corner, this many pixels wide
    // from the chart's right edge: the legend's column beside the plot is made at least that
    // wide, so that the plot, its depth and its labels end left of the buttons.
    void setCoveredWidth(int pixels);

    // The tip a value shows under the mouse: its category, its series and the value with 3
    // decimals in the user's locale, followed by the unit.
    QString valueTip(int row, int series) const;

protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

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

    double sumBelow(int row, int series) const;
    double value(int row, int series) const { return m_values.value(row * m_seriesLabels.size() + series); }
    void buildSeries();
    void setValueRange();
    void updateDepth();
    void updateCategoryLabels();
    void placeEmptyNote();
    QPointF depthAt(double fraction) const;
    QList<Face> solids() const;
    void addBox(QList<Face> &faces, int row, int series, double front, double back) const;
    void addBand(
        QList<Face> &faces, int series, const QList<QPointF> &line, double front, double back, bool solid) const;
    void paintWalls(QPainter *painter) const;
    void showTip(int row, int series, const QPoint &globalPos);

    QBarCategoryAxis *m_categories = nullptr;
    QValueAxis *m_valueAxis = nullptr;
    QGraphicsSimpleTextItem *m_emptyNote = nullptr;

    Kind m_kind = Area;
    bool m_threeD = true;
    bool m_stacked = false;
    QString m_unit;
    QStringList m_rowLabels;
    QStringList m_seriesLabels;
    QList<double> m_values; // row by row, as the grid held them when shown
    double m_axisTop = 1;
    double m_depth = 0; // the length of the whole depth on screen, in pixels
    int m_coveredWidth = 0;
};
