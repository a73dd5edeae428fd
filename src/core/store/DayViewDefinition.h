// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The definition of the per-day view DownloadPerDay in its final form. The shipped database
// holds it already (resources/schema.sql carries sqliteText()); the start-up upgrade installs it
// into databases whose view is older.
class DayViewDefinition
{
public:
    // The definition as the program's SQL dialect writes it.
    static QString jetText();
    // The view as SQLite keeps it (the text after "CREATE VIEW DownloadPerDay AS "): the rows of
    // jetText()'s translation, computed per day instead of per row.
    static QString sqliteText();
};
