// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/JetSql.h"
#include "core/store/QueryResult.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <optional>

struct sqlite3;

// One database operation. Every operation of the program opens its own connection to the
// database file, runs its statements and closes the connection before it returns, so that
// nothing holds the file between events. Statements are given in the program's own SQL
// dialect (dates as '#mm-dd-yyyy hh:nn:ss#', Format/CLng/CDate/dateadd, "select top N",
// "Delete * from", double-quoted strings, locale-formatted dates and numbers in text) and
// translated for SQLite here, so callers never see SQLite's dialect.
class StoreSession final
{
public:
    // How long a statement waits for another program's write to end: long enough to ride
    // out a short write, short enough that the window thread never seems to hang.
    static constexpr int BusyTimeoutMs = 250;
    // How long a query may run before it is given up. The views a user may rewrite by hand
    // could read without end (a recursive view), and the window thread must not hang on
    // one: 3 s is far beyond any real read (the slowest view ever shipped, totalling ten
    // years of log row by row, takes about 0.1 s) and still short enough to be seen as an
    // error rather than a frozen window. Statements that write are not limited: the
    // program's own (a reset of a long log takes seconds) must never stop half done.
    static constexpr int StatementTimeLimitMs = 3000;

    // maxBufferSizeKb sizes the page cache of this connection (in KiB).
    explicit StoreSession(QString databasePath, int maxBufferSizeKb = 100);
    ~StoreSession();
    StoreSession(const StoreSession &) = delete;
    StoreSession &operator=(const StoreSession &) = delete;

    // Opens the existing file read-write (or only for reading, see setReadOnly); never creates
    // it. An empty file is refused: it holds no database, and writing would make a new one in
    // the user's file.
    [[nodiscard]] bool open();
    // Read-only connections, for tools that look at the log beside a running program: SQLite
    // refuses any write on them. Takes effect at the next open().
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // How long a statement waits for another program's lock before it fails.
    // The wait is given up at once when a stop was asked for (StopRequest) on a session
    // that follows it (setStopOnRequest).
    void setBusyTimeout(int msecs);
    // How long a statement that only reads may run before it fails (0: no limit).
    void setStatementTimeLimit(int msecs) { m_statementLimitMs = msecs; }
    // A session that gives up its waits and its statements as soon as the process is asked
    // to end: start-up, which runs before the event loop could hear the signal.
    void setStopOnRequest(bool stop) { m_stopOnRequest = stop; }
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // How many steps of waiting for another program's lock all sessions have taken so far
    // (one step every 10 ms of a wait): a test holds its lock until a wait has lasted long enough.
    static int lockWaitSteps();

    // A statement that changes data (no records come back).
    [[nodiscard]] bool execute(const QString &statement);
    // A query; all rows are read at once (a static recordset).
    [[nodiscard]] std::optional<QueryResult> query(const QString &statement);

    // SQLite's own dialect, for the schema work of the store itself.
    [[nodiscard]] bool executeNative(const QString &sql);
    [[nodiscard]] std::optional<QueryResult> queryNative(const QString &sql);

    [[nodiscard]] bool beginTransaction();
    [[nodiscard]] bool commit();
    void rollback();

    // Description of the last failure, in words a user can report.
    QString errorString() const { return m_error; }

private:
    bool run(const QString &sql, const QString &statement, QueryResult *result, bool singleStatement);
    bool runJet(const QString &statement, QueryResult *result);
    QList<JetSql::Column> columnsOf(const QString &table);
    bool fail(const QString &message);
    static int onBusy(void *session, int tries);
    static int onProgress(void *session);

    using Clock = std::chrono::steady_clock;
    enum class Interruption { None, TimeLimit, Stop };

    QString m_path;
    int m_maxBufferSizeKb;
    int m_busyTimeoutMs;
    int m_statementLimitMs = StatementTimeLimitMs;
    bool m_stopOnRequest = false;
    Clock::time_point m_busySince;
    std::optional<Clock::time_point> m_deadline; // of the statement running, when it has one
    Interruption m_interruption = Interruption::None;
    bool m_readOnly = false;
    sqlite3 *m_db = nullptr;
    QString m_error;
    QHash<QString, QList<JetSql::Column>> m_columns; // by table name in lower case
};
