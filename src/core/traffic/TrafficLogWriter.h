// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/DebugLog.h"
#include "core/traffic/RunCounters.h"

#include <QString>
#include <QStringList>

class Clock;
class OpenRow;

// Turns the traffic counted since the current log row began into a row of the Log table
// and starts the next row. Called when the counters fall back, at the first poll of a new
// day, when a row grows too large, on "Reset Counters" and at shutdown.
class TrafficLogWriter final
{
public:
    TrafficLogWriter(QString databasePath, OpenRow &row, const Clock &clock, const DebugLog &log);

    // Writes the row (and, when the row crosses midnight, the day marker) and starts the next
    // row from the readings this one ended with. When the database refuses the write, nothing
    // is written and the row stays open as it was, so that the next call writes the same
    // traffic again.
    bool write();

    QString errorString() const { return m_error; }

private:
    // The statements that log the row closed as `close` says, noted in the diagnostic log.
    QStringList rowStatements(const RunCounters::RowClose &close, DebugLog::Batch &debug) const;
    // Runs them, with the journal's clearing, in one transaction.
    bool commit(const QStringList &statements, DebugLog::Batch &debug);

    QString m_path;
    OpenRow &m_row;
    const Clock &m_clock;
    const DebugLog &m_log;
    QString m_error;
};
