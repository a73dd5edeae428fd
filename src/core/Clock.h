// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

#include <chrono>

// The one source of time. Midnight, week and month rules read the wall clock through it, so
// that tests can set the hour instead of waiting for it; rates are measured on its monotonic
// clock, which neither jumps with the wall clock nor runs during a suspend.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual qint64 monotonicMsecs() const = 0;
};

// The same instant with the UTC offset in force at it fixed to it (Qt::OffsetFromUTC). A local
// time (Qt::LocalTime) keeps only its wall-clock reading and is mapped to an instant again under
// whatever zone is in force when it is used: after a change of time zone the same value names
// another instant. The times of a log row are kept this way, so that neither a change of
// daylight saving nor one of time zone can move them.
inline QDateTime withOwnOffset(const QDateTime &dateTime)
{
    return dateTime.isValid() ? dateTime.toOffsetFromUtc(dateTime.offsetFromUtc()) : dateTime;
}

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMsecs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};
