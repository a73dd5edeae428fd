// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QStringList>

// What the statistics chart shows, as the grid held it when shown: the kind of chart, its
// rows and series, their values row by row, and whether the series stand on one another.
// The flat series (StatsSeries) and the drawn depth (ChartDepth) are made from it alike.
struct ChartData
{
    // The order of ChartChoices::Kind, so that the window passes its list index.
    enum Kind { Area, Line, Bars };

    Kind kind = Area;
    bool stacked = false;
    QStringList rowLabels;
    QStringList seriesLabels;
    QList<double> values;

    int rows() const { return int(rowLabels.size()); }
    int seriesCount() const { return int(seriesLabels.size()); }
    bool isEmpty() const { return rowLabels.isEmpty() || seriesLabels.isEmpty(); }
    double value(int row, int series) const { return values.value(row * seriesLabels.size() + series); }

    // Where a stacked series starts: the sum of the series below it; 0 when not stacked.
    double sumBelow(int row, int series) const
    {
        double sum = 0;
        for (int below = 0; stacked && below < series; ++below)
            sum += value(row, below);
        return sum;
    }

    // Upload red and Download green as on the monitor's graphs; the speed views' one series is a download.
    QColor colour(int series) const
    {
        static const QColor palette[] = {QColor(208, 72, 56), QColor(56, 150, 72), QColor(64, 112, 184)};
        if (seriesCount() == 1)
            return palette[1];
        return palette[series % 3];
    }
};
