// SPDX-License-Identifier: GPL-3.0-or-later
// The locale's number and date parsers (JetConvert) on any text, and the round trip that
// the store relies on: a number or date the program writes under a locale (NumberText,
// FormatDateText, JetSql::dateLiteral, StoredDate, the dialog's grouped whole numbers)
// reads back as the same value under that locale.
// Input: two bytes that pick the locale, then the text. Its first bytes are also taken as a
// raw double, a whole number and the fields of a date for the round trips.

#include "FuzzSupport.h"

#include "core/store/FormatDateText.h"
#include "core/store/JetConvert.h"
#include "core/store/JetLocale.h"
#include "core/store/JetSql.h"
#include "core/store/NumberText.h"
#include "core/store/StoredDate.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Qt::StringLiterals;
using Fields = StoredDate::Fields;

namespace {

QString describe(const QLocale &locale, const QString &text, const QString &more)
{
    return u"locale %1, text \"%2\" (%3)"_s.arg(locale.name(), text, more);
}

// The value of plain ASCII number text, read by the C library alone (the process keeps the
// "C" locale): infinite when it is too large for a double.
double readC(const QString &text)
{
    const QByteArray ascii = text.toLatin1();
    char *end = nullptr;
    const double value = std::strtod(ascii.constData(), &end);
    if (ascii.isEmpty() || end != ascii.constData() + ascii.size())
        Fuzz::fail("the C locale writes plain numbers", text);
    return value;
}

// text, which the program wrote under the picked locale, must read back as expected; an
// infinite expected value must be refused as an overflow.
void expectNumber(const Fuzz::PickedLocale &picked, const QString &text, double expected, const char *form)
{
    JetConvert::Error error = JetConvert::Error::None;
    const std::optional<double> read = picked.convert.toDouble(text, &error);
    const bool same = std::isinf(expected) ? !read && error == JetConvert::Error::Overflow : read == expected;
    if (!same) {
        Fuzz::fail("a number written under a locale reads back the same",
            describe(picked.locale, text,
                u"%1; expected %2, read %3, error %4"_s.arg(QLatin1String(form), QString::number(expected, 'g', 17),
                    read ? QString::number(*read, 'g', 17) : u"none"_s, JetConvert::errorText(error))));
    }
}

// The locale changes how NumberText writes a number, not the number that is read back: the
// same function under the C locale gives the text the standard library reads.
void checkNumber(const Fuzz::PickedLocale &picked, double value)
{
    if (!std::isfinite(value))
        return;
    QLocale::setDefault(QLocale::c());
    const double plain = readC(NumberText::plain(value));
    const double fourDecimals = readC(NumberText::fourDecimals(value));
    QLocale::setDefault(picked.locale);
    expectNumber(picked, NumberText::plain(value), plain, "NumberText::plain");
    expectNumber(picked, NumberText::fourDecimals(value), fourDecimals, "NumberText::fourDecimals");
}

// A whole number as the options dialog shows it: the locale's digits, sign and grouping.
void checkWhole(const Fuzz::PickedLocale &picked, qint64 whole)
{
    const double expected = readC(QString::fromStdString(std::to_string(whole)));
    const QString text = picked.locale.toString(whole);
    expectNumber(picked, text, expected, "QLocale::toString(qint64)");
    if (whole >= std::numeric_limits<qint32>::min() && whole <= std::numeric_limits<qint32>::max()) {
        const std::optional<qint32> read = picked.convert.toInt32(text);
        if (read != qint32(whole))
            Fuzz::fail("a whole number written under a locale reads back the same 32-bit number",
                describe(picked.locale, text, QString::number(whole)));
    }
}

QString fieldsText(const Fields &f)
{
    return u"%1-%2-%3 %4:%5:%6"_s.arg(f.year).arg(f.month).arg(f.day).arg(f.hour).arg(f.minute).arg(f.second);
}

void expectDate(const Fuzz::PickedLocale &picked, const QString &text, const Fields &expected, const char *form)
{
    const QByteArray utf8 = text.toUtf8();
    JetConvert::Error error = JetConvert::Error::None;
    const std::optional<Fields> read
        = picked.convert.toDateFieldsUtf8(utf8.constData(), std::size_t(utf8.size()), &error);
    const std::optional<QDateTime> dateTime = picked.convert.toDateTime(text);
    if (!read || fieldsText(*read) != fieldsText(expected) || dateTime != expected.toDateTime()) {
        Fuzz::fail("a date written under a locale reads back the same",
            describe(picked.locale, text,
                u"%1; expected %2, read %3, error %4"_s.arg(QLatin1String(form), fieldsText(expected),
                    read ? fieldsText(*read) : u"none"_s, JetConvert::errorText(error))));
    }
}

// A date the program writes into statements reads back as that date.
void checkDate(const Fuzz::PickedLocale &picked, const Fields &fields)
{
    const QDateTime dateTime = fields.toDateTime();
    // The log writer's quoted dates, under the default locale.
    expectDate(picked, FormatDateText(dateTime), fields, "FormatDateText, yyyy/mm/dd hh:nn:ss");
    // The per-day view's CDate(Format(..., "yyyy/mm/dd")).
    expectDate(picked, FormatDateText(dateTime, u"yyyy/mm/dd"_s), Fields {fields.year, fields.month, fields.day},
        "FormatDateText, yyyy/mm/dd");

    const QString literal = JetSql::dateLiteral(dateTime);
    const std::optional<Fields> read
        = JetConvert::dateLiteralFields(QStringView(literal).sliced(1, literal.size() - 2));
    if (!read || fieldsText(*read) != fieldsText(fields))
        Fuzz::fail("a date literal reads back the same", literal);

    if (StoredDate::parse(StoredDate::format(dateTime)) != dateTime)
        Fuzz::fail("a stored date reads back the same", StoredDate::format(dateTime));
}

// A date of the years 100 to 9999 made of seven bytes.
Fields dateFromBytes(const uint8_t *data)
{
    Fields fields;
    fields.year = 100 + (data[0] | data[1] << 8) % 9900;
    fields.month = 1 + data[2] % 12;
    fields.day = 1 + data[3] % StoredDate::daysInMonth(fields.year, fields.month);
    fields.hour = data[4] % 24;
    fields.minute = data[5] % 60;
    fields.second = data[6] % 60;
    return fields;
}

// A date a parser gives must be one of the calendar, in the years the dialect knows.
void checkParsedDate(const std::optional<Fields> &fields, const QString &text, const char *parser)
{
    if (fields && (fields->year < 100 || !fields->isValid()))
        Fuzz::fail("a parsed date is a date of the calendar",
            text + u" → "_s + fieldsText(*fields) + u" by "_s + QLatin1String(parser));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Fuzz::PickedLocale picked = Fuzz::takeLocale(data, size);
    const char *bytes = reinterpret_cast<const char *>(data);
    const QString text = QString::fromUtf8(bytes, qsizetype(size));

    // The bytes as SQLite hands them to the functions (not necessarily UTF-8), and as text.
    const std::optional<double> number = picked.convert.toDoubleUtf8(bytes, size);
    const std::optional<Fields> date = picked.convert.toDateFieldsUtf8(bytes, size);
    checkParsedDate(date, text, "toDateFieldsUtf8");
    checkParsedDate(JetConvert::dateLiteralFields(text), text, "dateLiteralFields");
    (void)picked.convert.toInt16(text);
    (void)picked.convert.toInt32(text);
    const std::optional<QDateTime> dateTime = picked.convert.toDateTime(text);
    if (dateTime && !dateTime->isValid())
        Fuzz::fail("a parsed date-time is valid", text);
    Fields stored;
    if (StoredDate::parseFields(bytes, size, stored)) {
        char written[StoredDate::TextLength];
        StoredDate::write(stored, written);
        if (std::memcmp(written, bytes, StoredDate::TextLength) != 0)
            Fuzz::fail("a stored date is written as it was read", text);
    }

    if (number)
        checkNumber(picked, *number);
    if (date)
        checkDate(picked, *date);
    if (size >= 8) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        checkNumber(picked, raw);
        qint64 whole = 0;
        std::memcpy(&whole, data, sizeof whole);
        checkWhole(picked, whole);
        checkWhole(picked, whole >> 40); // sizes a dialog holds
        checkDate(picked, dateFromBytes(data));
    }
    return 0;
}
