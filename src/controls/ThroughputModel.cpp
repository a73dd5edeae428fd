// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ThroughputModel.h"

#include <algorithm>
#include <cmath>

void ThroughputModel::reset(int width, int height, int barWidth)
{
    m_width = width;
    m_height = height;
    m_barWidth = barWidth;
    const bool drawable = width > 0 && height > 0 && barWidth > 0;
    // Written without width + barWidth - 1, which overflows for very wide bars.
    const int bars = drawable ? width / barWidth + (width % barWidth != 0 ? 1 : 0) : 0;
    m_values.assign(std::size_t(bars), 0);
    clear();
}

void ThroughputModel::clear()
{
    m_newest = -1;
    m_count = 0;
}

void ThroughputModel::addValue(int value)
{
    if (m_values.empty())
        return;
    m_newest = (m_newest + 1) % capacity();
    m_values[std::size_t(m_newest)] = value;
    if (m_count < capacity())
        ++m_count;
}

int ThroughputModel::valueAt(int age) const
{
    Q_ASSERT(age >= 0 && age < m_count);
    return m_values[std::size_t((m_newest - age + capacity()) % capacity())];
}

QRect ThroughputModel::slot(int age) const
{
    if (age < 0 || age >= capacity())
        return {};
    // age < capacity keeps right above 0 and left above -barWidth: no overflow.
    const int right = m_width - age * m_barWidth;
    const int left = std::max(right - m_barWidth, 0);
    return QRect(left, 0, right - left, m_height);
}

QRect ThroughputModel::bar(int age, int max, bool inverted) const
{
    const int length = barLength(valueAt(age), max, m_height);
    if (length == 0)
        return {};
    const QRect columns = slot(age);
    return QRect(columns.left(), inverted ? 0 : m_height - length, columns.width(), length);
}

int ThroughputModel::barLength(int value, int max, int height)
{
    if (value <= 0 || max <= 0 || height <= 0)
        return 0;
    // Divided first, then scaled: the order decides which lengths land exactly on a half.
    const double length = double(value) / double(max) * double(height) - 1.0;
    // Clipped before the conversion: a double beyond int's range has no int value.
    if (length >= double(height))
        return height;
    if (length <= 0.0)
        return 0;
    return int(std::nearbyint(length)); // the default rounding mode rounds halves to even
}
