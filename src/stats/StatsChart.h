// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stats/ChartAllowance.h"
#include "stats/ChartData.h"

#include <QChartView>

#include <optional>

class ChartDepth;
class QBarCategoryAxis;
class QGraphicsSimpleTextItem;
class QValueAxis;
class StatsGrid;

// The statistics window's chart: one category per grid row, one series per grid series, as
// areas, lines or bars (StatsSeries), flat or with depth. The depth (ChartDepth) is drawn over
// the flat chart's own plot area, so the axes, the legend and the value tips are the same in
// both; Qt Charts has no 3D of its own, and a 3D engine would cost the window several times
// the program's memory.
class StatsChart final : public QChartView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatsChart)

public:
    // The order of ChartChoices::Kind, so that the window passes its list index.
    using Kind = ChartData::Kind;
    using enum ChartData::Kind;

    explicit StatsChart(QWidget *parent = nullptr);
    ~StatsChart() override;

    // Rebuilds the chart from the grid. stacked puts the series on top of one another (the
    // grid then holds Upload and Download alone); unit is the value axis' title ("MB", "GB",
    // "kBps", "Kbps"). A grid without rows shows a note instead of the chart.
    void showGrid(const StatsGrid &grid, Kind kind, bool threeD, bool stacked, const QString &unit);

    // The allowance over the shown volume view: its line, the current period's projected end
    // (hatched, over what was used) and the forecast on a line under the chart. showGrid()
    // clears it.
    void setAllowance(const ChartAllowance &allowance);
    const ChartAllowance &allowance() const { return m_allowance; }
    // Where the allowance's line and the projected segment's top lie in the scene (their
    // front, in depth); nothing when not shown.
    std::optional<double> allowanceLineY() const;
    std::optional<QRectF> projectedRect() const;

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
    void changeEvent(QEvent *event) override;

private:
    ChartDepth depth() const;
    void addSeries();
    void setValueRange();
    void updateDepth();
    void applyPalette();
    double valueY(double value) const;
    QPointF frontOfTop() const;
    void paintAllowance(QPainter *painter) const;
    void updateCategoryLabels();
    void placeEmptyNote();
    void showTip(int row, int series, const QPoint &globalPos);

    QBarCategoryAxis *m_categories = nullptr;
    QValueAxis *m_valueAxis = nullptr;
    QGraphicsSimpleTextItem *m_emptyNote = nullptr;

    ChartData m_data; // as the grid held it when shown
    bool m_threeD = true;
    QString m_unit;
    double m_axisTop = 1;
    double m_depth = 0; // the length of the whole depth on screen, in pixels
    int m_coveredWidth = 0;
    ChartAllowance m_allowance;
};
