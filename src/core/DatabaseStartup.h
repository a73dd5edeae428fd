// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Clock;
class DebugLog;
class Settings;
class StoreSession;

// The database part of starting the program: open the file, check that the tables the run
// writes are there and can be written, bring its schema up to date, read the settings, turn
// the journal of an unfinished run into its log row and mark the start of the run in the log. Any failure before the
// start marker ends the program without anything written; the marker itself may fail quietly.
class DatabaseStartup final
{
public:
    DatabaseStartup(QString databasePath, const Clock &clock, const DebugLog &log, Settings &settings);

    [[nodiscard]] bool run();
    QString errorString() const { return m_error; }

    // The text of the start-up failure box: the fixed head, a line break, the reason.
    static QString failureText(const QString &description);
    static QString failureTitle() { return QStringLiteral("Varnolt"); }

    // Another program's lock on the database is waited for this long at start-up.
    static constexpr int LockWaitMsecs = 5000;

private:
    bool checkTablesCanBeWritten(StoreSession &session);

    QString m_path;
    const Clock &m_clock;
    const DebugLog &m_log;
    Settings &m_settings;
    QString m_error;
};
