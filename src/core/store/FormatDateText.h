// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/JetLocale.h"

#include <QDateTime>
#include <QString>

// Turns a date-time into text with a pattern of the program's Format dialect, under the user's
// locale (the default QLocale): "yyyy/mm/dd hh:nn:ss" gives "2026/12/05 17:29:47" where the
// locale writes dates with "/", and "2026.12.05 17:29:47" where it writes them with ".".
// Every date that goes into SQL text as a quoted value is written this way, and the store reads
// it back under the same locale; #...# literals are not (JetSql::dateLiteral). An invalid
// date-time gives "".
QString FormatDateText(const QDateTime &dateTime, const QString &pattern = QStringLiteral("yyyy/mm/dd hh:nn:ss"));
QString FormatDateText(const QDateTime &dateTime, const QString &pattern, const JetLocale &locale);
