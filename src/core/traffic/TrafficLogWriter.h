// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Clock;
class DebugLog;
struct RunCounters;

// Turns the traffic counted since the current log row began into a row of the Log table
// and starts the next row. Called when the counters fall back, at the first poll of a new
// day, when a row grows too large, on "Reset Counters" and at shutdown.
class TrafficLogWriter final
{
public:
    TrafficLogWriter(QString databasePath, RunCounters &counters, const Clock &clock, const DebugLog &log);

    // Writes the row (and, when the row crosses midnight, the day marker) and starts the next
    // row from the readings this one ended with. When the database refuses the write, nothing is written and the
    // counters are left as they were, so that the next call writes the same traffic again.
    bool write();

    QString errorString() const { return m_error; }

private:
    QString m_path;
    RunCounters &m_counters;
    const Clock &m_clock;
    const DebugLog &m_log;
    QString m_error;
};
