// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/StoreSession.h"

#include "core/StopRequest.h"
#include "core/store/JetFunctions.h"
#include "core/store/JetLocale.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcStore, "varnolt.store", QtInfoMsg)

namespace {

// A lock is tried again this often while it is waited for; a stop asked for is seen as soon.
constexpr std::chrono::milliseconds BusyStep {10};
// The progress handler, which checks the time limit and a stop, runs every this many steps
// of SQLite's virtual machine (some microseconds apart).
constexpr int ProgressSteps = 1000;

std::atomic<int> waitSteps {0};

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

int StoreSession::lockWaitSteps()
{
    return waitSteps.load(std::memory_order_relaxed);
}

void StoreSession::setBusyTimeout(int msecs)
{
    m_busyTimeoutMs = msecs;
}

int StoreSession::onBusy(void *session, int tries)
{
    auto *self = static_cast<StoreSession *>(session);
    const Clock::time_point now = Clock::now();
    if (tries == 0)
        self->m_busySince = now;
    if (self->m_stopOnRequest && StopRequest::requested()) {
        self->m_interruption = Interruption::Stop;
        return 0;
    }
    const auto left = std::chrono::milliseconds(self->m_busyTimeoutMs) - (now - self->m_busySince);
    if (left <= Clock::duration::zero())
        return 0;
    const Clock::duration pause = std::min<Clock::duration>(left, BusyStep);
    // A lock waited for is not the query's running time: its limit moves on by the wait.
    if (self->m_deadline)
        *self->m_deadline += pause;
    std::this_thread::sleep_for(pause);
    waitSteps.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

int StoreSession::onProgress(void *session)
{
    auto *self = static_cast<StoreSession *>(session);
    if (self->m_stopOnRequest && StopRequest::requested()) {
        self->m_interruption = Interruption::Stop;
        return 1;
    }
    if (self->m_deadline && Clock::now() >= *self->m_deadline) {
        self->m_interruption = Interruption::TimeLimit;
        return 1;
    }
    return 0;
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
    // Waits of its own rather than sqlite3_busy_timeout: that one sleeps up to 100 ms at a
    // time and cannot hear a stop.
    sqlite3_busy_handler(m_db, &StoreSession::onBusy, this);
    sqlite3_progress_handler(m_db, ProgressSteps, &StoreSession::onProgress, this);
    QString error;
    if (!JetFunctions::install(m_db, JetLocale::current(), &error)) {
        close();
        return fail(u"Cannot prepare the database connection to %1: %2."_s.arg(m_path, error));
    }
    // Reading the schema here finds a file that is no database before any statement runs.
    // The statistics views sort the whole log; sorting in memory spares temporary files.
    const int cacheKb = std::max(1, m_maxBufferSizeKb);
    // In WAL mode (which start-up sets) a commit with synchronous=NORMAL needs no disk flush;
    // the checkpoints flush. The journal of the open row has a connection of its own that
    // flushes every write.
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
    const auto describe = [&](const QString &sqliteReason) {
        QString reason = sqliteReason;
        if (m_interruption == Interruption::TimeLimit)
            reason = u"the query ran past its time limit of %1 s and was stopped"_s.arg(m_statementLimitMs / 1000.0);
        else if (m_interruption == Interruption::Stop)
            reason = u"stopped, as the program is asked to end"_s;
        return statement.isEmpty() ? reason : u"%1\nStatement: %2"_s.arg(reason, statement);
    };
    while (next && *next) {
        sqlite3_stmt *prepared = nullptr;
        const char *tail = nullptr;
        m_interruption = Interruption::None;
        if (sqlite3_prepare_v2(m_db, next, -1, &prepared, &tail) != SQLITE_OK)
            return fail(describe(sqliteMessage(m_db)));
        next = tail;
        if (!prepared) // only white space or a comment was left
            continue;
        if (singleStatement && !onlySeparatorsLeft(tail)) {
            sqlite3_finalize(prepared);
            return fail(describe(u"Characters found after end of SQL statement."_s));
        }
        // Only reads are limited: a view rewritten by hand may never end, while a write of
        // the program's own must not stop half done.
        if (m_statementLimitMs > 0 && sqlite3_stmt_readonly(prepared))
            m_deadline = Clock::now() + std::chrono::milliseconds(m_statementLimitMs);
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
        m_deadline.reset();
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
