// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

#include <vector>

// The scrolling bar graph without the painting: the values whose bars are still on the
// picture and where each bar lies for a given scale. Keeping the values lets the graph
// redraw its bars true to a new scale.
class ThroughputModel final
{
public:
    // Starts empty, with room for every bar that fits, wholly or partly, into the width;
    // with no room when a size or the bar width is 0 or less, since no bar can be drawn.
    void reset(int width, int height, int barWidth);
    void clear();
    void addValue(int value);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int barWidth() const { return m_barWidth; }
    int count() const { return m_count; }
    int capacity() const { return int(m_values.size()); }
    int valueAt(int age) const; // age 0 is the newest

    // The bar's columns over the whole height, cut at the left edge.
    QRect slot(int age) const;
    // The bar against the scale max, grown from the bottom edge, or from the top when inverted.
    QRect bar(int age, int max, bool inverted) const;

    // Rows of a bar: value / max * height - 1, halves to even, clipped to [0, height];
    // nothing for a value or a scale of 0 or less.
    static int barLength(int value, int max, int height);

private:
    int m_width = 0;
    int m_height = 0;
    int m_barWidth = 0;
    std::vector<int> m_values; // a ring sized by reset(), so that adding never allocates
    int m_newest = -1;
    int m_count = 0;
};
