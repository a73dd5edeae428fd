// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Translates a statement of the program's SQL dialect into SQLite's:
//   "…" strings become '…' strings; #mm-dd-yyyy hh:nn:ss# becomes the stored date text;
//   "select top N …" becomes "select … limit N"; "delete * from" becomes "delete from";
//   "/" always divides as real numbers, as it does in the dialect;
//   each INSERT value is passed through the coercion for its column's declared type, so that
//   dates and numbers written in the user's locale are stored as dates and numbers, and text
//   that cannot be read fails the statement.
// [bracketed] names, functions and everything else pass unchanged (the functions exist on
// the connection, see JetFunctions).
class JetSql final
{
public:
    struct Column
    {
        QString name;
        QString declaredType;
    };
    // The columns of a table in their order; empty when there is no such table.
    using ColumnLookup = std::function<QList<Column>(const QString &table)>;

    explicit JetSql(ColumnLookup columns = {});

    [[nodiscard]] std::optional<QString> translate(const QString &statement);

    // A date literal of the dialect, "#mm/dd/yyyy hh:nn:ss#": month first, "/" and ":" and
    // ASCII digits whatever the user's locale, because the literal is read without one. Dates
    // put into a statement as literals are written with this, never with FormatDateText, whose
    // separators follow the locale (" h " between hours and minutes under fr_CA).
    static QString dateLiteral(const QDateTime &dateTime);
    QString errorString() const { return m_error; }

private:
    ColumnLookup m_columns;
    QString m_error;
};
