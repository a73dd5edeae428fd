// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

#include <chrono>
#include <memory>

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

// Days added to a time of a clock as a local time has them added: the same wall-clock time that
// many days away, in the UTC offset in force then (so that a window of days keeps its hour
// across a change of daylight saving). A time with a zone of its own, as a test's clock gives,
// has them added in its zone.
inline QDateTime addLocalDays(const QDateTime &dateTime, qint64 days)
{
    if (!dateTime.isValid() || dateTime.timeSpec() == Qt::TimeZone)
        return dateTime.addDays(days);
    return QDateTime(dateTime.date().addDays(days), dateTime.time());
}

// The machine's clocks. now() is the local time with the UTC offset in force fixed to it
// (Qt::OffsetFromUTC, or Qt::UTC where the offset is 0): the same date, time and offset as
// QDateTime::currentDateTime() gives, at the cost of one read of the real-time clock. The
// offset is asked of the C library only when it may have changed: at the time zone's next
// change (or its last one, when the clock is set back), when the zone files change, when
// a file system is mounted over them, and when TZ changes in the environment. A Qt local time
// asks the C library on every use, and the C library looks at /etc/localtime every time.
// Made and used on the thread with the event loop (the zone's files are watched there).
class SystemClock final : public Clock
{
public:
    SystemClock();
    ~SystemClock() override;
    SystemClock(const SystemClock &) = delete;
    SystemClock &operator=(const SystemClock &) = delete;

    QDateTime now() const override;
    qint64 monotonicMsecs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    class LocalOffset;
    std::unique_ptr<LocalOffset> m_offset;
};
