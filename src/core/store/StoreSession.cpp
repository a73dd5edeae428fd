#include "core/store/StoreSession.h"

#include "core/store/JetFunctions.h"
#include "core/store/JetLocale.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <sqlite3.h>

#include <algorithm>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcStore, "varnolt.store", QtInfoMsg)

namespace {

QString sqliteMessage(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool onlySeparatorsLeft(const char *tail)
{
    for (; tail && *tail; ++tail) {
        if (*tail != ';' && !QChar::isSpace(uchar(*tail)))
            return false;
    }
    return true;
}

} // namespace

StoreSession::StoreSession(QString databasePath, int maxBufferSizeKb)
    : m_path(std::move(databasePath))
    , m_maxBufferSizeKb(maxBufferSizeKb)
    , m_busyTimeoutMs(BusyTimeoutMs)
{
}

void StoreSession::setBusyTimeout(int msecs)
{
    m_busyTimeoutMs = msecs;
    if (m_db)
        sqlite3_busy_timeout(m_db, msecs);
}

StoreSession::~StoreSession()
{
    close();
}

bool StoreSession::open()
{
    close();
    m_error.clear();
    const QFileInfo file(m_path);
    if (!file.exists())
        return fail(u"The database file %1 does not exist."_s.arg(m_path));
    if (!file.isFile())
        return fail(u"The database path %1 is not a file."_s.arg(m_path));
    if (file.size() == 0)
        return fail(u"The database file %1 is empty, and no database."_s.arg(m_path));

    const QByteArray path = QFile::encodeName(m_path);
    const int flags = m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(path.constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        const QString reason = m_db ? sqliteMessage(m_db) : u"out of memory"_s;
        close();
        return fail(u"Cannot open the database file %1: %2."_s.arg(m_path, reason));
    }
    // SQLite falls back to reading only when the file is write-protected; the program writes.
    if (!m_readOnly && sqlite3_db_readonly(m_db, "main") == 1) {
        close();
        return fail(u"The database file %1 cannot be written to."_s.arg(m_path));
    }
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    QString error;
    if (!JetFunctions::install(m_db, JetLocale::current(), &error)) {
        close();
        return fail(u"Cannot prepare the database connection to %1: %2."_s.arg(m_path, error));
    }
    // Reading the schema here finds a file that is no database before any statement runs.
    // The statistics views sort the whole log; sorting in memory spares temporary files.
    const int cacheKb = std::max(1, m_maxBufferSizeKb);
    // In WAL mode (which start-up sets) a commit with synchronous=NORMAL needs no disk flush;
    // the checkpoints flush.
    const QString setup = u"PRAGMA cache_size=-%1; PRAGMA temp_store=MEMORY; PRAGMA synchronous=NORMAL; "
                          u"SELECT count(*) FROM sqlite_master;"_s.arg(cacheKb);
    if (!run(setup, QString(), nullptr, false)) {
        const QString reason = m_error;
        close();
        return fail(u"Cannot open the database file %1: %2"_s.arg(m_path, reason));
    }
    return true;
}

void StoreSession::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_columns.clear();
}

bool StoreSession::execute(const QString &statement)
{
    return runJet(statement, nullptr);
}

std::optional<QueryResult> StoreSession::query(const QString &statement)
{
    QueryResult result;
    if (!runJet(statement, &result))
        return std::nullopt;
    return result;
}

bool StoreSession::executeNative(const QString &sql)
{
    return run(sql, sql, nullptr, false);
}

std::optional<QueryResult> StoreSession::queryNative(const QString &sql)
{
    QueryResult result;
    if (!run(sql, sql, &result, false))
        return std::nullopt;
    return result;
}

bool StoreSession::beginTransaction()
{
    return executeNative(u"BEGIN IMMEDIATE"_s);
}

bool StoreSession::commit()
{
    return executeNative(u"COMMIT"_s);
}

void StoreSession::rollback()
{
    // Keeps the message of the failure that led here.
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool StoreSession::runJet(const QString &statement, QueryResult *result)
{
    if (!m_db)
        return fail(u"The database is not open."_s);
    JetSql translator([this](const QString &table) { return columnsOf(table); });
    const std::optional<QString> sql = translator.translate(statement);
    if (!sql)
        return fail(u"%1\nStatement: %2"_s.arg(translator.errorString(), statement));
    return run(*sql, statement, result, true);
}

bool StoreSession::run(const QString &sql, const QString &statement, QueryResult *result, bool singleStatement)
{
    if (!m_db)
        return fail(u"The database is not open."_s);
    const QByteArray utf8 = sql.toUtf8();
    const char *next = utf8.constData();
    const auto describe = [&](const QString &reason) {
        return statement.isEmpty() ? reason : u"%1\nStatement: %2"_s.arg(reason, statement);
    };
    while (next && *next) {
        sqlite3_stmt *prepared = nullptr;
        const char *tail = nullptr;
        if (sqlite3_prepare_v2(m_db, next, -1, &prepared, &tail) != SQLITE_OK)
            return fail(describe(sqliteMessage(m_db)));
        next = tail;
        if (!prepared) // only white space or a comment was left
            continue;
        if (singleStatement && !onlySeparatorsLeft(tail)) {
            sqlite3_finalize(prepared);
            return fail(describe(u"Characters found after end of SQL statement."_s));
        }
        const int columns = sqlite3_column_count(prepared);
        QStringList names;
        for (int i = 0; i < columns; ++i)
            names.append(QString::fromUtf8(sqlite3_column_name(prepared, i)));
        QList<QVariantList> rows;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
            if (!result)
                continue;
            QVariantList row;
            row.reserve(columns);
            for (int i = 0; i < columns; ++i) {
                switch (sqlite3_column_type(prepared, i)) {
                case SQLITE_INTEGER:
                    row.append(QVariant(qint64(sqlite3_column_int64(prepared, i))));
                    break;
                case SQLITE_FLOAT:
                    row.append(QVariant(sqlite3_column_double(prepared, i)));
                    break;
                case SQLITE_TEXT:
                    row.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(prepared, i)),
                        sqlite3_column_bytes(prepared, i)));
                    break;
                case SQLITE_BLOB:
                    row.append(QByteArray(static_cast<const char *>(sqlite3_column_blob(prepared, i)),
                        sqlite3_column_bytes(prepared, i)));
                    break;
                default:
                    row.append(QVariant());
                    break;
                }
            }
            rows.append(std::move(row));
        }
        sqlite3_finalize(prepared);
        if (rc != SQLITE_DONE)
            return fail(describe(sqliteMessage(m_db)));
        if (result && columns > 0)
            *result = QueryResult(std::move(names), std::move(rows));
        if (singleStatement)
            break;
    }
    m_error.clear();
    return true;
}

QList<JetSql::Column> StoreSession::columnsOf(const QString &table)
{
    const QString key = table.toLower();
    const auto cached = m_columns.constFind(key);
    if (cached != m_columns.constEnd())
        return *cached;
    QList<JetSql::Column> columns;
    sqlite3_stmt *prepared = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT name, type FROM pragma_table_info(?1)", -1, &prepared, nullptr) == SQLITE_OK) {
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(prepared, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(prepared) == SQLITE_ROW) {
            columns.append({QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(prepared, 0))),
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(prepared, 1)))});
        }
    }
    sqlite3_finalize(prepared);
    m_columns.insert(key, columns);
    return columns;
}

bool StoreSession::fail(const QString &message)
{
    m_error = message;
    qCDebug(lcStore).noquote() << message;
    return false;
}
