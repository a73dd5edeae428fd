// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/StatsSeries.h"

#include "stats/ChartData.h"

#include <QAreaSeries>
#include <QBarSeries>
#include <QBarSet>
#include <QLineSeries>
#include <QPen>
#include <QStackedBarSeries>

#include <algorithm>
#include <cmath>

namespace {

QAbstractSeries *bars(const ChartData &data, QObject *context, const StatsSeries::Hover &hovered)
{
    QAbstractBarSeries *bars
        = data.stacked ? static_cast<QAbstractBarSeries *>(new QStackedBarSeries) : new QBarSeries;
    bars->setBarWidth(data.stacked ? 0.6 : 0.8);
    for (int series = 0; series < data.seriesCount(); ++series) {
        auto *set = new QBarSet(data.seriesLabels.at(series));
        for (int row = 0; row < data.rows(); ++row)
            set->append(data.value(row, series));
        const QColor colour = data.colour(series);
        set->setColor(colour);
        set->setBorderColor(colour);
        QObject::connect(
            set, &QBarSet::hovered, context, [hovered, series](bool on, int row) { hovered(row, series, on); });
        bars->append(set);
    }
    return bars;
}

// A series' line, at its top (upper) or at its foot. A single period would be a lone point:
// it spans the middle of its category instead.
QList<QPointF> pointsOf(const ChartData &data, int series, bool upper)
{
    QList<QPointF> points;
    for (int row = 0; row < data.rows(); ++row) {
        const double y = data.sumBelow(row, series) + (upper ? data.value(row, series) : 0);
        if (data.rows() == 1)
            points << QPointF(-0.3, y) << QPointF(0.3, y);
        else
            points << QPointF(row, y);
    }
    return points;
}

QAbstractSeries *lineOrArea(const ChartData &data, int series, QObject *context, const StatsSeries::Hover &hovered)
{
    const int rows = data.rows();
    const auto hover = [hovered, rows, series](const QPointF &point, bool on) {
        hovered(std::clamp(int(std::lround(point.x())), 0, rows - 1), series, on);
    };
    const QColor colour = data.colour(series);
    QAbstractSeries *item = nullptr;
    if (data.kind == ChartData::Line) {
        auto *line = new QLineSeries;
        line->append(pointsOf(data, series, true));
        line->setPen(QPen(colour, 2.5));
        line->setPointsVisible(rows <= 16);
        line->setMarkerSize(3.5);
        QObject::connect(line, &QXYSeries::hovered, context, hover);
        item = line;
    } else {
        auto *area = new QAreaSeries;
        auto *upper = new QLineSeries(area);
        upper->append(pointsOf(data, series, true));
        area->setUpperSeries(upper);
        if (data.stacked && series > 0) {
            auto *lower = new QLineSeries(area);
            lower->append(pointsOf(data, series, false));
            area->setLowerSeries(lower);
        }
        area->setColor(colour);
        area->setBorderColor(colour.darker(115));
        QObject::connect(area, &QAreaSeries::hovered, context, hover);
        item = area;
    }
    item->setName(data.seriesLabels.at(series));
    return item;
}

} // namespace

QList<QAbstractSeries *> StatsSeries::make(const ChartData &data, QObject *context, const Hover &hovered)
{
    if (data.kind == ChartData::Bars)
        return {bars(data, context, hovered)};
    const bool behind = data.kind == ChartData::Area && !data.stacked;
    QList<QAbstractSeries *> made;
    for (int series = 0; series < data.seriesCount(); ++series) {
        QAbstractSeries *item = lineOrArea(data, series, context, hovered);
        if (behind)
            made.prepend(item);
        else
            made << item;
    }
    return made;
}
