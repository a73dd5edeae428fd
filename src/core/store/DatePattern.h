// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/JetLocale.h"
#include "core/store/StoredDate.h"

#include <QStringView>

#include <vector>

// A date pattern of the program's Format dialect ("yyyy/mm/dd hh:nn:ss", "dd mmm yyyy", ...),
// read once and then applied to many dates: yyyy, yy, y (day of the year), mmmm (month name),
// mmm (its abbreviation), mm, m, dd, d, hh, h, nn, n, ss, s, the doubled ones with a leading zero.
// Letters count in either case; "/" and ":" stand for the locale's date and time separators; any
// other character is copied. Number patterns ("0.00") are not part of it.
class DatePattern
{
public:
    explicit DatePattern(QStringView pattern);

    // Writes the formatted date as UTF-8 into out and returns its length. When that length is
    // larger than capacity, nothing usable was written: call again with a larger buffer.
    qsizetype formatUtf8(const StoredDate::Fields &date, const JetLocale &locale, char *out, qsizetype capacity) const;
    QString format(const StoredDate::Fields &date, const JetLocale &locale) const;

private:
    enum class Part : quint8 {
        Literal,
        Year4,
        Year2,
        DayOfYear,
        MonthName,
        MonthAbbreviation,
        Month2,
        Month1,
        Day2,
        Day1,
        Hour2,
        Hour1,
        Minute2,
        Minute1,
        Second2,
        Second1,
        DateSeparator,
        TimeSeparator,
    };
    struct Element
    {
        Part part;
        qsizetype literalOffset = 0;
        qsizetype literalLength = 0;
    };

    void addLiteral(QStringView text);

    std::vector<Element> m_elements;
    QByteArray m_literals;
};
