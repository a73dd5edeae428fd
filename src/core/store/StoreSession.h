#pragma once

#include "core/store/JetSql.h"
#include "core/store/QueryResult.h"

#include <QHash>
#include <QString>

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
    void setBusyTimeout(int msecs);
    void close();
    bool isOpen() const { return m_db != nullptr; }

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

    QString m_path;
    int m_maxBufferSizeKb;
    int m_busyTimeoutMs;
    bool m_readOnly = false;
    sqlite3 *m_db = nullptr;
    QString m_error;
    QHash<QString, QList<JetSql::Column>> m_columns; // by table name in lower case
};
