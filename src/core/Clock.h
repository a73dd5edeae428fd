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
