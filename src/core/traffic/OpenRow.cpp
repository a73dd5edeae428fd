// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/OpenRow.h"

#include <cmath>

namespace {
// Rates are kept with four decimals, halves to even.
double fourDecimals(double x)
{
    return std::nearbyint(x * 10000.0) / 10000.0;
}
} // namespace

void OpenRow::add(quint64 in, quint64 out)
{
    // The run's sums are exact as doubles up to 2^53 bytes (8 PiB).
    m_c.curIn += double(in);
    m_c.curOut += double(out);
}

void OpenRow::addDownloadRate(double rate)
{
    if (rate > IdleRate)
        m_c.avgDown = fourDecimals((m_c.avgDown * m_c.downSamples + rate) / (m_c.downSamples + 1));
    m_c.downSamples += 1;
    if (rate > m_c.maxDown)
        m_c.maxDown = fourDecimals(rate);
}

bool OpenRow::polled(const QDateTime &now)
{
    // The row's times keep the UTC offset of their moment: a change of daylight saving or of
    // time zone cannot move them.
    const QDateTime local = withOwnOffset(now);
    if (!m_c.sampled) {
        // Whatever the first readings hold came before the run: the row starts from them.
        m_c.sampled = true;
        m_c.rowStart = m_c.latestTime = local;
        m_c.baseIn = m_c.prevIn = m_c.curIn;
        m_c.baseOut = m_c.prevOut = m_c.curOut;
    }
    const bool ends = m_c.timeEndsRow(now);
    // A clock set back leaves the latest time where it was: the row ends there.
    if (!(local < m_c.latestTime))
        m_c.latestTime = local;
    m_c.prevIn = m_c.curIn;
    m_c.prevOut = m_c.curOut;
    return ends;
}

void OpenRow::startNext(const RunCounters::RowClose &close, const QDateTime &now)
{
    m_c.rowStart = close.nextStart;
    m_c.latestTime = withOwnOffset(now);
    m_c.baseOut = m_c.curOut;
    m_c.baseIn = m_c.curIn;
    m_c.avgDown = 0;
    m_c.downSamples = 0;
}
