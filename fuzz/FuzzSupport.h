// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>

#include <cstddef>
#include <cstdint>

struct sqlite3;
class JetLocale;
class JetConvert;

// What the fuzz targets share: the locale an input asks for, the program's schema, and the
// way a broken property is reported.
namespace Fuzz {

// Quiets the program's logging categories and pins the time zone to UTC, so that every
// date of the calendar exists as a local time (no daylight-saving gap moves it).
void initialize();

// The locale the first two bytes of an input pick out of every locale Qt knows (little
// endian, modulo their count), made the default locale; the bytes are consumed.
struct PickedLocale
{
    int index;
    QLocale locale;
    const JetLocale &jetLocale;
    const JetConvert &convert;
};
PickedLocale takeLocale(const uint8_t *&data, size_t &size);

// Runs resources/schema.sql on db.
void createSchema(sqlite3 *db);

// Reports a broken property on stderr and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const char *property, const QString &details);

} // namespace Fuzz
