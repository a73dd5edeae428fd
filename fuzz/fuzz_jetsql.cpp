// SPDX-License-Identifier: GPL-3.0-or-later
// Statements of the program's SQL dialect: translated by JetSql, then run on an in-memory
// database with the program's schema, a few log rows and the dialect's functions under the
// input's locale, so that Format, CLng, CDate, dateadd, the #...# literals and the coercions
// of INSERT meet the values real statements give them.
// Input: two bytes that pick the locale, then the statement as UTF-8.

#include "FuzzSupport.h"

#include "core/store/JetFunctions.h"
#include "core/store/JetSql.h"

#include <sqlite3.h>

#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

sqlite3 *db = nullptr;
int installedLocale = -1;
// While the input's statement runs, it may not end the savepoint it runs in nor reach
// beyond the in-memory database.
bool guarded = false;
int progressCalls = 0;

int authorize(void *, int action, const char *, const char *, const char *, const char *)
{
    if (!guarded)
        return SQLITE_OK;
    switch (action) {
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_PRAGMA:
        return SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

// A recursive query may run forever; a statement gets about a million virtual machine steps.
int progress(void *)
{
    return ++progressCalls > 1000 ? 1 : 0;
}

void exec(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
        Fuzz::fail("the harness's own statement runs", QString::fromUtf8(message) + u"\n"_s + QString::fromUtf8(sql));
}

QList<JetSql::Column> columnsOf(const QString &table)
{
    QList<JetSql::Column> columns;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return columns;
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(statement, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        columns.append({QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))),
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 1)))});
    }
    sqlite3_finalize(statement);
    return columns;
}

// Steps the first statement of sql through all its rows, reading every field as the store does.
void run(const QByteArray &sql)
{
    sqlite3_stmt *statement = nullptr;
    progressCalls = 0;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK || !statement)
        return;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            if (sqlite3_column_type(statement, i) == SQLITE_TEXT) {
                const QString text
                    = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, i)),
                        sqlite3_column_bytes(statement, i));
                (void)text;
            }
        }
    }
    sqlite3_finalize(statement);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::initialize();
    if (sqlite3_open(":memory:", &db) != SQLITE_OK)
        Fuzz::fail("an in-memory database opens", QString());
    Fuzz::createSchema(db);
    // Log rows at the calendar's edges: month ends, a leap day, the first and last years.
    exec("INSERT INTO Log VALUES"
         "('2026-12-05 17:29:47','2026-12-05 17:30:00',1000,2000,12.5),"
         "('2024-02-29 23:59:59','2024-02-29 23:59:59',0,0,0),"
         "('2025-03-31 00:00:00','2025-03-31 08:00:00',2000000000,1999999999,0.0001),"
         "('0100-01-01 00:00:00','0100-01-01 00:00:01',1,1,1),"
         "('9999-12-31 23:59:59','9999-12-31 23:59:59',9007199254740993,-1,-2.5);"
         "INSERT INTO settings VALUES ('maxmbsize','1.234,5'),('Adapter0','eth0'),('logstartday','31');");
    sqlite3_set_authorizer(db, authorize, nullptr);
    sqlite3_progress_handler(db, 1000, progress, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1000000);
    sqlite3_hard_heap_limit64(256 * 1024 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Fuzz::PickedLocale picked = Fuzz::takeLocale(data, size);
    if (picked.index != installedLocale) {
        QString error;
        if (!JetFunctions::install(db, picked.jetLocale, &error))
            Fuzz::fail("the functions install", error);
        installedLocale = picked.index;
    }

    const QString statement = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    JetSql translator(columnsOf);
    const std::optional<QString> sql = translator.translate(statement);
    if (!sql) {
        if (translator.errorString().isEmpty())
            Fuzz::fail("a refused statement says why", statement);
        return 0;
    }

    exec("SAVEPOINT fuzz");
    guarded = true;
    run(sql->toUtf8());
    guarded = false;
    exec("ROLLBACK TO fuzz; RELEASE fuzz");
    return 0;
}
