// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Clock;
class DebugLog;
class StoreSession;

// Brings an older database up to date at start-up. Databases of the first releases carry a
// DownloadPerDay dated 2001 that counted days wrongly; it is replaced by the current
// definition and dated today, so the rewrite happens once. A view dated in any other year is
// the user's or already current and is left alone. A database made before the open row was
// journaled gets the journal's table. A database made before the log was totalled per day gets
// the table LogPerDay, its triggers and its rows, and each period view with a catalog entry is
// replaced by the one that reads it and dated today; a view without an entry was made by hand
// and is left alone.
class SchemaUpgrade final
{
public:
    SchemaUpgrade(StoreSession &session, const Clock &clock, const DebugLog &log);

    [[nodiscard]] bool run();
    QString errorString() const { return m_error; }

    static constexpr int OutdatedYear = 2001;
    // The journal of the open log row, as the shipped database defines it.
    static QString journalTableSql();

private:
    bool replaceDayView();
    bool addJournalTable();
    bool addDayTotals();

    StoreSession &m_session;
    const Clock &m_clock;
    const DebugLog &m_log;
    QString m_error;
};
