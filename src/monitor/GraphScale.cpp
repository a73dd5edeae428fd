// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GraphScale.h"

#include "monitor/Rounding.h"

void GraphScale::download(double rate, double avgDown)
{
    if (rate > m_max + 1) {
        // A spike beyond four times the average does not widen the scale.
        if (4 * avgDown > rate)
            m_max = Rounding::whole(rate + 10);
    } else if (avgDown < m_max / 8.0 && m_max > StartMax && avgDown > 5) {
        m_max = Rounding::whole(avgDown) + 1;
    }
}

void GraphScale::upload(double uprate, double avgDown, double &maxUp)
{
    // There is no upload average: the download average keeps upload spikes in check.
    if (maxUp < 4 * avgDown && uprate > maxUp + 1) {
        maxUp = Rounding::fourDecimals(uprate);
        if (maxUp > m_max + 1)
            m_max = Rounding::whole(maxUp + 1);
    }
}
