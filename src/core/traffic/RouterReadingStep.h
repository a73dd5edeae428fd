// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/RouterReading.h"

// The household's traffic between two answers of the router, by the same rules as an
// interface's: the first answer adds nothing, a counter that came back lower wrapped (a 32-bit
// counter, by no more than the link carries in the time) or was reset (its new value counts
// from 0), and a change beyond the link's rate is not counted.
//
// What the router's uptime says: back with a counter lower, the router rebooted and both its
// counters count from 0; back with neither lower, only its service restarted and kept its
// counters, so the differences count. A router that once answered more than 2^32 - 1 on its
// 32-bit action counts wider than it says: its counters never wrap at 2^32, so a fall is a reset.
//
// What cannot be told apart is said, not guessed: in a gap long enough for the link to carry
// 4 GiB, a 32-bit counter may have made a whole turn more than its answers show.
class RouterReadingStep final
{
public:
    struct Step
    {
        quint64 in = 0;
        quint64 out = 0;
        bool rebooted = false; // a counter started again from 0 (a reboot, a reset, a new counter)
        bool restarted = false; // the uptime went back with the counters kept: the differences counted
        bool wrapped = false; // a 32-bit counter went past 2^32 once
        bool ambiguous = false; // the gap was long enough for a whole turn unseen
        bool dropped = false; // a change beyond what the link carries in the time, not counted
    };

    // A reading's time is taken when its answer arrived, not when the router read its counters;
    // an answer can take this long (two calls, each up to the client library's waits).
    static constexpr qint64 LateAnswerMsecs = 2000;

    // linkBytesPerSec: the most the router's WAN link carries in one direction (0: not known,
    // then no change is beyond it and no gap ambiguous); elapsedMsecs: the time since the
    // previous answer. The reading moves on to now whatever was counted.
    Step next(const RouterReading &now, qint64 elapsedMsecs, quint64 linkBytesPerSec);

    // Whether the router was seen counting past 32 bits (a 64-bit action, or a larger value).
    bool countsWide() const { return m_countsWide; }

    // Forgets the router: the next answer starts again and adds nothing.
    void restart()
    {
        m_previous.reset();
        m_seenPast32 = false;
        m_countsWide = false;
    }

private:
    quint64 change(quint64 before, quint64 after, double allowed, Step &step) const;

    std::optional<RouterReading> m_previous;
    bool m_seenPast32 = false; // a value above 2^32 - 1 from a 32-bit action
    bool m_countsWide = false;
};
