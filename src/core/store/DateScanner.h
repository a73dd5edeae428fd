// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/JetLocale.h"
#include "core/store/StoredDate.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// Reads a date written as text, as the program's SQL dialect does: three numbers (one of them
// may be a month's name) between date separators, in the order the locale writes short dates,
// the year first whenever the first number has three or more digits; then, after a space, an
// optional time h:n[:s] with AM or PM. A time alone lies on 1899-12-30.
class DateScanner
{
public:
    using MonthWords = QList<std::pair<QString, int>>;
    struct Rules
    {
        JetLocale::DateOrder order = JetLocale::DateOrder::MonthDayYear;
        QByteArray dateSeparator; // as UTF-8
        QByteArray timeSeparator;
        MonthWords monthWords; // names and abbreviations, lower case, without a trailing '.'
        QString amText; // lower case
        QString pmText;
    };

    explicit DateScanner(Rules rules);
    // The locale's order, separators, month names and AM/PM texts; the English month names too.
    static DateScanner forLocale(const JetLocale &locale);
    // The text of a #...# date literal: month, day, year whatever the locale, English names.
    static const DateScanner &literal();

    // The date and time of [text, end), spaces around ignored; nothing when it is no date.
    std::optional<StoredDate::Fields> scan(const char *text, const char *end) const;

    // A year written with one or two digits lies in the window 1930-2029.
    static int fullYear(int value, int digits);
    // The hour of day of a 12-hour clock's hour (12 AM is midnight, 12 PM noon); -1 outside 1-12.
    static int hourOfDay(int hour, bool pm);

private:
    Rules m_rules;
};
