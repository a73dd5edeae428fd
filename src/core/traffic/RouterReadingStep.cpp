// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/RouterReadingStep.h"

#include <algorithm>
#include <limits>

namespace {

constexpr quint64 Turn32 = quint64(1) << 32;
constexpr quint64 Most32 = Turn32 - 1;

} // namespace

RouterReadingStep::Step RouterReadingStep::next(const RouterReading &now, qint64 elapsedMsecs, quint64 linkBytesPerSec)
{
    Step step;
    if (!now.wide && (now.received > Most32 || now.sent > Most32))
        m_seenPast32 = true;
    m_countsWide = now.wide || m_seenPast32;
    if (!m_previous) {
        m_previous = now;
        return step;
    }
    const RouterReading before = *m_previous;
    m_previous = now;

    const qint64 elapsed = std::max<qint64>(elapsedMsecs, 0);
    const double allowed = linkBytesPerSec > 0
        ? double(linkBytesPerSec) * double(elapsed + LateAnswerMsecs) / 1000.0
        : std::numeric_limits<double>::infinity();
    const bool fell = now.received < before.received || now.sent < before.sent;
    const bool uptimeBack = now.uptimeSecs && before.uptimeSecs && *now.uptimeSecs < *before.uptimeSecs;

    if (now.wide != before.wide || (uptimeBack && fell)) {
        // Another counter (the router began or stopped answering its 64-bit action), or a
        // reboot: both count from 0, whatever either reads.
        step.rebooted = true;
        step.in = now.received;
        step.out = now.sent;
    } else {
        step.restarted = uptimeBack;
        step.in = change(before.received, now.received, allowed, step);
        step.out = change(before.sent, now.sent, allowed, step);
    }
    if (double(step.in) > allowed) {
        step.in = 0;
        step.dropped = true;
    }
    if (double(step.out) > allowed) {
        step.out = 0;
        step.dropped = true;
    }
    if (!m_countsWide && !step.rebooted && linkBytesPerSec > 0) {
        // In the time since the last answer the link could carry a whole turn or more.
        step.ambiguous = double(linkBytesPerSec) * double(elapsed) / 1000.0 >= double(Turn32);
    }
    return step;
}

quint64 RouterReadingStep::change(quint64 before, quint64 after, double allowed, Step &step) const
{
    if (after >= before)
        return after - before;
    // A 32-bit counter wraps, by no more than the link carried; anything else fell because it
    // was reset, and its new value counts from 0.
    if (!m_countsWide && before <= Most32) {
        const quint64 wrap = Turn32 - before + after;
        if (double(wrap) <= allowed) {
            step.wrapped = true;
            return wrap;
        }
    }
    step.rebooted = true;
    return after;
}
