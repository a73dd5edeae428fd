// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/DateScanner.h"
#include "core/store/JetLocale.h"
#include "core/store/StoredDate.h"

#include <QDateTime>
#include <QStringView>

#include <cstddef>
#include <optional>

// The conversions of the program's SQL dialect (CDbl, CInt, CLng, CDate) from text written under
// the user's locale. Each returns std::nullopt when the text cannot be converted and, when asked,
// tells why: a "Type mismatch" (not a number or date at all) or an "Overflow" (out of range).
class JetConvert
{
public:
    enum class Error { None, TypeMismatch, Overflow };

    explicit JetConvert(const JetLocale &locale);
    const JetLocale &locale() const { return m_locale; }

    // The locale's decimal point and digit grouping ("1.234,5" under de_DE), or else the C form
    // ("1234.5"); spaces around the number are ignored.
    std::optional<double> toDouble(QStringView text, Error *error = nullptr) const;
    // Through toDouble, halves rounded to even, within the type's range.
    std::optional<qint16> toInt16(QStringView text, Error *error = nullptr) const;
    std::optional<qint32> toInt32(QStringView text, Error *error = nullptr) const;
    // Numbers separated by separators, the year first when the first number has four digits and
    // otherwise in the locale's short-date order; a month may be named; an optional time
    // h:n[:s] [AM|PM] follows. A date alone is midnight, a time alone lies on 1899-12-30.
    std::optional<QDateTime> toDateTime(QStringView text, Error *error = nullptr) const;

    // The same on UTF-8 bytes, for the SQL functions.
    std::optional<double> toDoubleUtf8(const char *text, std::size_t length, Error *error = nullptr) const;
    std::optional<StoredDate::Fields> toDateFieldsUtf8(
        const char *text, std::size_t length, Error *error = nullptr) const;

    // The text of a #...# date literal: always month, day, year (unless the year comes first),
    // whatever the locale; any separators.
    static std::optional<StoredDate::Fields> dateLiteralFields(QStringView text);

    static double roundHalfEven(double value);
    // roundHalfEven, then a check against [minimum, maximum]; NaN is a type mismatch.
    static std::optional<qint64> roundToInteger(double value, qint64 minimum, qint64 maximum, Error *error = nullptr);
    // Days since 1899-12-30 with the time of day as fraction, as the dialect reads numbers as dates.
    static std::optional<StoredDate::Fields> fieldsFromSerial(double serial, Error *error = nullptr);

    // "Type mismatch" or "Overflow".
    static QString errorText(Error error);

private:
    JetLocale m_locale;
    DateScanner m_dates;
};
