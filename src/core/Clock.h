#pragma once

#include <QDateTime>

// The one source of wall-clock time. Midnight, week and month rules read the time through
// it, so that tests can set the hour instead of waiting for it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
