// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DatabaseStartup.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/DatabaseLocation.h"
#include "core/store/FormatDateText.h"
#include "core/store/SchemaUpgrade.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RowJournal.h"

DatabaseStartup::DatabaseStartup(QString databasePath, const Clock &clock, const DebugLog &log, Settings &settings)
    : m_path(std::move(databasePath))
    , m_clock(clock)
    , m_log(log)
    , m_settings(settings)
{
}

QString DatabaseStartup::failureText(const QString &description)
{
    return QStringLiteral("Database Init Error!\n") + description;
}

bool DatabaseStartup::checkTablesCanBeWritten(StoreSession &session)
{
    // The run writes these columns; a table or column gone would lose every row of the run.
    const QList<QPair<QString, QStringList>> tables {
        {QStringLiteral("Log"),
            {QStringLiteral("DateAndTimeStart"), QStringLiteral("DateAndTimeEnd"), QStringLiteral("BytesSent"),
                QStringLiteral("BytesRcvd"), QStringLiteral("AvgDownloadSpeed")}},
        {QStringLiteral("settings"), {QStringLiteral("Settingname"), QStringLiteral("Settingvalue")}}};
    for (const auto &[table, columns] : tables) {
        const std::optional<QueryResult> found
            = session.queryNative(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table));
        if (!found)
            return false;
        QStringList names;
        for (int row = 0; row < found->rowCount(); ++row)
            names << found->value(row, QStringLiteral("name")).toString();
        if (names.isEmpty()) {
            m_error = QStringLiteral("The database %1 has no table %2.").arg(m_path, table);
            return false;
        }
        for (const QString &column : columns) {
            if (!names.contains(column, Qt::CaseInsensitive)) {
                m_error
                    = QStringLiteral("The table %1 of the database %2 has no column %3.").arg(table, m_path, column);
                return false;
            }
        }
    }
    // A row in each, rolled back: a full disk, a lock that does not end or a file that may
    // not be written shows now rather than when the first row of the run is lost.
    const bool written = session.beginTransaction()
        && session.executeNative(QStringLiteral("INSERT INTO Log (DateAndTimeStart, DateAndTimeEnd, BytesSent, "
                                                "BytesRcvd, AvgDownloadSpeed) VALUES ('2000-01-01 00:00:00', "
                                                "'2000-01-01 00:00:00', 0, 0, 0)"))
        && session.executeNative(QStringLiteral("INSERT INTO settings (Settingname, Settingvalue) VALUES ('', '')"));
    const QString reason = session.errorString();
    session.rollback();
    if (!written) {
        m_error = QStringLiteral("The database %1 cannot be written to: %2").arg(m_path, reason);
        return false;
    }
    return true;
}

bool DatabaseStartup::run()
{
    // An older copy left the database with the umask's mode, readable by every local user:
    // it becomes the user's alone before anything is read or written. SQLite makes the -wal
    // and -shm files with the database file's mode; those a run that did not end cleanly
    // left behind (and a rollback journal) are tightened too. A file system that refuses
    // the change leaves the file as it is: metering goes on.
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString file = m_path + QLatin1String(suffix);
        if (!DatabaseLocation::makePrivate(file))
            m_log.write(QStringLiteral(": Could not make %1 private").arg(file));
    }

    StoreSession session(m_path);
    session.setBusyTimeout(LockWaitMsecs);
    // No event loop runs yet to hear a signal: the wait itself gives up when one comes.
    session.setStopOnRequest(true);
    if (!session.open() || !checkTablesCanBeWritten(session)) {
        if (m_error.isEmpty())
            m_error = session.errorString();
        return false;
    }
    session.setBusyTimeout(StoreSession::BusyTimeoutMs);
    SchemaUpgrade upgrade(session, m_clock, m_log);
    if (!upgrade.run()) {
        m_error = upgrade.errorString();
        return false;
    }
    m_log.write(QStringLiteral(": Upgrading database: Done"));
    m_log.write(QStringLiteral(": Reading Settings"));

    // Settings are read into a copy first, so that a failed read leaves no half-read state.
    Settings loaded = m_settings;
    SettingsStore settingsStore(m_path);
    if (!settingsStore.load(session, loaded)) {
        m_error = settingsStore.errorString();
        return false;
    }
    m_settings = loaded;
    for (const QString &line : settingsStore.diagnostics())
        m_log.write(QStringLiteral(": ") + line);
    m_log.write(QStringLiteral(": Settings Read"));

    // A write-ahead log, so that journaling the open row costs one disk flush a write and a
    // reader never blocks it. A file system that cannot hold one keeps the rollback journal;
    // the program works the same.
    const std::optional<QueryResult> mode = session.queryNative(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!mode || mode->value(0, QStringLiteral("journal_mode")).toString() != QLatin1String("wal"))
        m_log.write(QStringLiteral(": No write-ahead log: ") + session.errorString());

    // The open row of a run that did not end cleanly becomes its log row before this run
    // begins.
    QString recovered;
    if (!RowJournal::recover(session, recovered, m_error))
        return false;
    if (!recovered.isEmpty())
        m_log.write(QStringLiteral(": Row of an unfinished run recovered: ") + recovered);

    // The start marker of the run; a run without one is still a good run.
    const QString start = FormatDateText(m_clock.now());
    const QString end = FormatDateText(m_clock.now());
    (void)session.execute(QStringLiteral("INSERT INTO Log values('%1','%2',0,0,0);").arg(start, end));
    return true;
}
