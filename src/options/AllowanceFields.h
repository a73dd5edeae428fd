// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

class JetConvert;

// The three text fields of the allowance (the maximum in MB, the period's length, the start
// day of a monthly period): what each accepts and what an accepted text is shown as. A field
// is checked when it loses the focus and is corrected without a message: a rejected text
// becomes the field's default.
namespace AllowanceFields {

inline const QString MaxMBDefault = QStringLiteral("0");
inline const QString PeriodDefault = QStringLiteral("0");
inline const QString StartDayDefault = QStringLiteral("1");

// A whole number of MB from 1 to 5,119,999 (the text rounded to the nearest, halves to even),
// shown with the locale's digit grouping: "5000" → "5,000" (en_US), "5.000" (de_DE).
std::optional<QString> maxMB(const QString &text, const JetConvert &convert);
// A whole number of days, weeks or months from 1 to 365, shown like the maximum.
std::optional<QString> period(const QString &text, const JetConvert &convert);
// A day of the month from 1 to 31; the text stays as typed ("15.5" counts as 16 where a
// number is needed).
std::optional<QString> startDay(const QString &text, const JetConvert &convert);

} // namespace AllowanceFields
