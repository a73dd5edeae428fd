// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Clock;

// Erases the traffic log and leaves one start row (both dates now, no traffic), as after the
// program's very first start. Only the Log table is touched: the settings stay, and so does
// the journal of the running program's open row, whose traffic is not in the log yet and
// goes into it when that row is written.
class LogReset final
{
public:
    LogReset(QString databasePath, const Clock &clock);

    // Every step is tried, also after one failed (a deletion refused still leaves a start
    // row); true only when all succeeded, else errorString() names the first failure.
    [[nodiscard]] bool run();
    QString errorString() const;

private:
    QString m_path;
    const Clock &m_clock;
    QString m_error;
};
