// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"

// A clock that stands still until the test moves it. Moving it forward moves both the wall
// clock and the monotonic clock; set() moves the wall clock alone, as a suspend or a clock
// change does.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 5), QTime(17, 29, 47)))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    qint64 monotonicMsecs() const override { return m_monotonic; }
    void set(const QDateTime &dateTime) { m_now = dateTime; }
    void advanceMsecs(qint64 msecs)
    {
        m_now = m_now.addMSecs(msecs);
        m_monotonic += msecs;
    }
    void advanceSeconds(qint64 seconds) { advanceMsecs(seconds * 1000); }
    void advanceDays(qint64 days) { advanceMsecs(days * 86'400'000); }

private:
    QDateTime m_now;
    qint64 m_monotonic = 1'000'000;
};
