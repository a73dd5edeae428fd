// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/RunCounters.h"

#include <QtGlobal>

// The log row that is open now: the one place that changes it. Its events are the traffic
// of a reading, a download rate, the end of a poll (where the run's first reading starts the
// first row), and the start of the next row once the writer has logged this one. Everything
// else reads it through counters().
//
// The rules it keeps: the first reading of the run adds nothing to a row (it only sets where
// the row starts); a reading only ever adds; the next row starts from the very readings the
// logged one ended with, so no byte is lost or counted twice across a row's end; a row's
// latest time never goes back, so no row ends before it starts.
class OpenRow final
{
public:
    // Download rates up to this (kB/s) count in the average's divisor but add nothing to it.
    static constexpr double IdleRate = 0.5;

    const RunCounters &counters() const { return m_c; }

    // The traffic the selected adapters carried since the previous reading.
    void add(quint64 in, quint64 out);
    // The bytes the current readings hold beyond those of the previous poll (0 before the
    // first poll of the run).
    double newIn() const { return m_c.sampled ? m_c.curIn - m_c.prevIn : 0; }
    double newOut() const { return m_c.sampled ? m_c.curOut - m_c.prevOut : 0; }
    // A download rate (kB/s) measured over the poll: the row's average and the run's maximum.
    void addDownloadRate(double rate);
    // The poll ends at `now`: the run's first poll starts the row here; the readings become
    // the previous ones. True when time alone ends the row (RunCounters::timeEndsRow).
    bool polled(const QDateTime &now);
    // The row as it would be closed at `now`.
    RunCounters::RowClose closeAt(const QDateTime &now) const { return m_c.closeAt(now); }
    // The row closed as `close` says was logged at `now`: the next one starts where it said,
    // from the readings the logged one ended with, with its average afresh.
    void startNext(const RunCounters::RowClose &close, const QDateTime &now);

private:
    RunCounters m_c;
};
