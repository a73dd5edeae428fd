// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/RouterReadingStep.h"

namespace {

constexpr quint64 Turn32 = quint64(1) << 32;

// Whether the router started counting again since the answer before.
bool rebootedBetween(const RouterReading &before, const RouterReading &now)
{
    // Its uptime went back, whatever its counters say.
    if (now.uptimeSecs && before.uptimeSecs && *now.uptimeSecs < *before.uptimeSecs)
        return true;
    // A counter that changed width (a firmware update) is a new counter; a 64-bit one never
    // wraps in a router's life, so one that fell was reset.
    return now.wide != before.wide || (now.wide && (now.received < before.received || now.sent < before.sent));
}

} // namespace

RouterReadingStep::Step RouterReadingStep::next(const RouterReading &now, qint64 elapsedMsecs, quint64 linkBytesPerSec)
{
    Step step;
    if (m_previous) {
        const RouterReading &before = *m_previous;
        step.rebooted = rebootedBetween(before, now);
        step.in = change(before.received, now.received, step);
        step.out = change(before.sent, now.sent, step);
        if (!now.wide && !step.rebooted && linkBytesPerSec > 0 && elapsedMsecs > 0) {
            // In the time since the last answer the link could carry a whole turn or more.
            const double most = double(linkBytesPerSec) * double(elapsedMsecs) / 1000.0;
            step.ambiguous = most >= double(Turn32);
        }
    }
    m_previous = now;
    return step;
}

quint64 RouterReadingStep::change(quint64 before, quint64 after, Step &step)
{
    if (step.rebooted)
        return after;
    if (after >= before)
        return after - before;
    step.wrapped = true;
    return Turn32 - before + after;
}
