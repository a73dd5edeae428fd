// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/JetLocale.h"

#include <QString>

struct sqlite3;

// The functions of the program's SQL dialect, as SQLite functions on one connection:
// Format(date, pattern), CLng(x), CDate(x), DateAdd(interval, n, date), and the coercions that
// the translator wraps around INSERT values: jet_date(x), jet_number(x), jet_integer(x).
// Dates go in as stored text ("yyyy-MM-dd HH:mm:ss"), as text that CDate reads under the
// locale, or as serial day numbers; dates come out as stored text. A value that cannot be
// converted makes the statement fail with the dialect's error text.
class JetFunctions
{
public:
    // The locale is copied; it stays fixed for the life of the connection, which is what makes
    // the functions deterministic.
    [[nodiscard]] static bool install(sqlite3 *db, const JetLocale &locale, QString *error = nullptr);

    static constexpr const char *typeMismatchInInsert = "Data type mismatch in criteria expression.";
};
