// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/FormatDateText.h"

#include "core/store/DatePattern.h"
#include "core/store/StoredDate.h"

#include <optional>

QString FormatDateText(const QDateTime &dateTime, const QString &pattern)
{
    // Reading the locale's pictures costs more than the formatting; keep the last snapshot
    // for as long as the default locale stays the same.
    thread_local std::optional<std::pair<QLocale, JetLocale>> cached;
    const QLocale locale;
    if (!cached || cached->first != locale)
        cached.emplace(locale, JetLocale(locale));
    return FormatDateText(dateTime, pattern, cached->second);
}

QString FormatDateText(const QDateTime &dateTime, const QString &pattern, const JetLocale &locale)
{
    if (!dateTime.isValid())
        return {};
    const StoredDate::Fields fields = StoredDate::Fields::fromDateTime(dateTime);
    return DatePattern(pattern).format(fields, locale);
}
