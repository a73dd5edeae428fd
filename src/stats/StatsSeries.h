// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

#include <functional>

class QAbstractSeries;
class QObject;
struct ChartData;

// The Qt Charts series of a shown view: one bar series with a set per grid series, or a line
// or an area series per grid series, in the grid's colours, stacked when asked (stacked bars;
// areas whose lower line is the upper line of the series below).
namespace StatsSeries {

// Called as the mouse comes onto a value of a series (on) or leaves it.
using Hover = std::function<void(int row, int series, bool on)>;

// The series in the order they are added to the chart: areas that are not stacked overlap,
// so the larger ones come first, behind. The hover calls live as long as context.
QList<QAbstractSeries *> make(const ChartData &data, QObject *context, const Hover &hovered);

} // namespace StatsSeries
