// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Settings.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RunCounters.h"

#include <QString>

// The database as the report reads it: one read-only connection, which never disturbs a
// running Varnolt, with the open row of that run (its journal) and the settings.
class ReportSource final
{
public:
    // Another program's lock is waited for this long before the report gives up; the queries
    // that follow on connections of their own wait the store's 250 ms, so a report on a locked
    // database ends within a second.
    static constexpr int LockWaitMs = 700;
    // A query running longer is given up, so that a view rewritten into one without end
    // (a recursive view) ends the report with an error instead of hanging it. Longer than the
    // window's 3 s, as nothing waits on a report but its caller, and a script on a busy
    // machine should not fail on a slow view that the window would still show at a quiet time.
    static constexpr int StatementTimeLimitMs = 5000;

    explicit ReportSource(QString databasePath);

    // Opens the file, reads the journal and the settings. False with errorString() when the
    // file is missing, no database, locked past LockWaitMs or holds a setting it cannot read.
    [[nodiscard]] bool open();
    QString databasePath() const { return m_path; }
    QString errorString() const { return m_error; }

    // The row a running Varnolt has not logged yet, as the run's counters (base 0, current =
    // its bytes), so that the views count it where the monitor does; all zero without one.
    const RunCounters &openRow() const { return m_openRow; }
    const Settings &settings() const { return m_settings; }
    // The connection, for the report's own queries.
    StoreSession &session() { return m_session; }

private:
    bool fail(const QString &message);
    bool readOpenRow();

    QString m_path;
    StoreSession m_session;
    RunCounters m_openRow;
    Settings m_settings;
    QString m_error;
};
