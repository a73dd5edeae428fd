// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <limits>

// Rounding with halves to even, as the rates and the graph scale are kept.
namespace Rounding {

// A whole number for a graph; rates beyond an int's range are held at its end.
inline int whole(double x)
{
    const double rounded = std::nearbyint(x);
    if (!(rounded > std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (rounded >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(rounded);
}

// Rates are kept with four decimals.
inline double fourDecimals(double x)
{
    return std::nearbyint(x * 10000.0) / 10000.0;
}

} // namespace Rounding
