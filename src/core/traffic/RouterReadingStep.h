// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/RouterReading.h"

// The household's traffic between two answers of the router, by the same rules as an
// interface's: the first answer adds nothing; a counter that came back lower wrapped (a
// 32-bit counter that was not reset) or was reset (the router rebooted: its uptime went back,
// or a wide counter fell), and a reset counts its new value from 0.
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
        bool rebooted = false; // the router's counters started again from 0
        bool wrapped = false; // a 32-bit counter went past 2^32 once
        bool ambiguous = false; // the gap was long enough for a whole turn unseen
    };

    // linkBytesPerSec: the most the router's WAN link carries in one direction (0: not known,
    // then no gap is taken as ambiguous); elapsedMsecs: the time since the previous answer.
    Step next(const RouterReading &now, qint64 elapsedMsecs, quint64 linkBytesPerSec);

    // Forgets the previous answer: the next one starts again and adds nothing.
    void restart() { m_previous.reset(); }

private:
    static quint64 change(quint64 before, quint64 after, Step &step);

    std::optional<RouterReading> m_previous;
};
