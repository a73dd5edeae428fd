// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/AllowanceFields.h"

#include "core/store/JetConvert.h"

#include <QLocale>

namespace {

// The text as a 32-bit whole number within [low, high), grouped as the locale groups digits.
std::optional<QString> wholeBelow(const QString &text, const JetConvert &convert, qint32 low, qint32 below)
{
    const std::optional<qint32> value = convert.toInt32(text);
    if (!value || *value < low || *value >= below)
        return std::nullopt;
    return QLocale().toString(*value);
}

} // namespace

namespace AllowanceFields {

std::optional<QString> maxMB(const QString &text, const JetConvert &convert)
{
    return wholeBelow(text, convert, 1, 5000 * 1024);
}

std::optional<QString> period(const QString &text, const JetConvert &convert)
{
    return wholeBelow(text, convert, 1, 366);
}

std::optional<QString> startDay(const QString &text, const JetConvert &convert)
{
    const std::optional<double> value = convert.toDouble(text);
    if (!value || *value < 1 || *value > 31)
        return std::nullopt;
    return text;
}

} // namespace AllowanceFields
