// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/JetFunctions.h"

#include "core/store/DatePattern.h"
#include "core/store/JetConvert.h"
#include "core/store/StoredDate.h"

#include <sqlite3.h>

#include <atomic>
#include <limits>

namespace {

using Error = JetConvert::Error;
using Fields = StoredDate::Fields;

// Shared by every function of one connection; the last function SQLite lets go of deletes it.
struct Context
{
    explicit Context(const JetLocale &locale)
        : locale(locale)
        , convert(locale)
    {
    }
    JetLocale locale;
    JetConvert convert;
    std::atomic<int> references {0};
};

void releaseContext(void *data)
{
    auto *context = static_cast<Context *>(data);
    if (--context->references == 0)
        delete context;
}

Context &contextOf(sqlite3_context *ctx)
{
    return *static_cast<Context *>(sqlite3_user_data(ctx));
}

void resultError(sqlite3_context *ctx, Error error)
{
    sqlite3_result_error(ctx, error == Error::Overflow ? "Overflow" : "Type mismatch", -1);
}

void resultStoredDate(sqlite3_context *ctx, const Fields &fields)
{
    char text[StoredDate::TextLength];
    StoredDate::write(fields, text);
    sqlite3_result_text(ctx, text, StoredDate::TextLength, SQLITE_TRANSIENT);
}

// "20261205": the text Format(..., "yyyymmdd") gives, read without the general number parser.
bool readPlainInteger(const unsigned char *text, int length, qint64 &value)
{
    if (length <= 0 || length > 18)
        return false;
    value = 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// "2026/12/05", "2026.12.05": what Format(..., "yyyy/mm/dd") gives under a one-character date
// separator, read without the general date scanner.
bool readYearFirstDate(const unsigned char *t, int length, Fields &fields)
{
    if (length != 10 || t[4] != t[7] || !std::strchr("/-.", t[4]) || t[4] == '\0')
        return false;
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (t[i] < '0' || t[i] > '9')
            return false;
    }
    fields = Fields {(t[0] - '0') * 1000 + (t[1] - '0') * 100 + (t[2] - '0') * 10 + (t[3] - '0'),
        (t[5] - '0') * 10 + (t[6] - '0'), (t[8] - '0') * 10 + (t[9] - '0')};
    return fields.year >= 100 && fields.isValid();
}

bool readDate(sqlite3_value *value, const Context &context, Fields &fields, Error &error)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_TEXT: {
        const auto *text = sqlite3_value_text(value);
        const int length = sqlite3_value_bytes(value);
        const auto *chars = reinterpret_cast<const char *>(text);
        if (StoredDate::parseFields(chars, std::size_t(length), fields) || readYearFirstDate(text, length, fields))
            return true;
        const std::optional<Fields> read = context.convert.toDateFieldsUtf8(chars, std::size_t(length), &error);
        if (read)
            fields = *read;
        return read.has_value();
    }
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const std::optional<Fields> read = JetConvert::fieldsFromSerial(sqlite3_value_double(value), &error);
        if (read)
            fields = *read;
        return read.has_value();
    }
    default:
        error = Error::TypeMismatch;
        return false;
    }
}

bool readNumber(sqlite3_value *value, const Context &context, double &number, Error &error)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        number = sqlite3_value_double(value);
        return true;
    case SQLITE_TEXT: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
        const std::optional<double> read
            = context.convert.toDoubleUtf8(text, std::size_t(sqlite3_value_bytes(value)), &error);
        if (read)
            number = *read;
        return read.has_value();
    }
    default:
        error = Error::TypeMismatch;
        return false;
    }
}

void deletePattern(void *pattern)
{
    delete static_cast<DatePattern *>(pattern);
}

void formatFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const Context &context = contextOf(ctx);
    // The pattern is nearly always a constant, so it is read once per statement.
    auto *pattern = static_cast<DatePattern *>(sqlite3_get_auxdata(ctx, 1));
    if (!pattern) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
        sqlite3_set_auxdata(
            ctx, 1, new DatePattern(QString::fromUtf8(text, sqlite3_value_bytes(argv[1]))), deletePattern);
        pattern = static_cast<DatePattern *>(sqlite3_get_auxdata(ctx, 1));
        if (!pattern) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
    }
    Fields fields;
    Error error = Error::None;
    if (!readDate(argv[0], context, fields, error)) {
        if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
            // Text that is no date is given back as it is.
            sqlite3_result_value(ctx, argv[0]);
        } else {
            resultError(ctx, error);
        }
        return;
    }
    char buffer[256];
    const qsizetype length = pattern->formatUtf8(fields, context.locale, buffer, sizeof buffer);
    if (length > qsizetype(sizeof buffer)) {
        const QByteArray utf8 = pattern->format(fields, context.locale).toUtf8();
        sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return;
    }
    sqlite3_result_text(ctx, buffer, int(length), SQLITE_TRANSIENT);
}

// Rounds halves to even and keeps to [minimum, maximum]; NULL stays NULL.
void roundingFunction(sqlite3_context *ctx, sqlite3_value *value, qint64 minimum, qint64 maximum, bool insertCoercion)
{
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    Error error = Error::None;
    qint64 whole = 0;
    if (type == SQLITE_INTEGER) {
        whole = sqlite3_value_int64(value);
        if (whole < minimum || whole > maximum) {
            resultError(ctx, Error::Overflow);
            return;
        }
        sqlite3_result_int64(ctx, whole);
        return;
    }
    if (type == SQLITE_TEXT && readPlainInteger(sqlite3_value_text(value), sqlite3_value_bytes(value), whole)) {
        if (whole > maximum) {
            resultError(ctx, Error::Overflow);
            return;
        }
        sqlite3_result_int64(ctx, whole);
        return;
    }
    double number = 0;
    std::optional<qint64> rounded;
    if (readNumber(value, contextOf(ctx), number, error))
        rounded = JetConvert::roundToInteger(number, minimum, maximum, &error);
    if (!rounded) {
        if (insertCoercion && error == Error::TypeMismatch)
            sqlite3_result_error(ctx, JetFunctions::typeMismatchInInsert, -1);
        else
            resultError(ctx, error);
        return;
    }
    sqlite3_result_int64(ctx, *rounded);
}

void clngFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    roundingFunction(ctx, argv[0], std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), false);
}

void cdateFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    Fields fields;
    Error error = Error::None;
    if (!readDate(argv[0], contextOf(ctx), fields, error)) {
        resultError(ctx, error);
        return;
    }
    resultStoredDate(ctx, fields);
}

void addMonths(Fields &fields, qint64 months)
{
    const qint64 index = qint64(fields.year) * 12 + (fields.month - 1) + months;
    fields.year = int(index >= 0 ? index / 12 : -((-index + 11) / 12));
    fields.month = int(index - qint64(fields.year) * 12) + 1;
    // 31 March less one month is the last day of February.
    fields.day = std::min(fields.day, StoredDate::daysInMonth(fields.year, fields.month));
}

void addSeconds(Fields &fields, qint64 seconds)
{
    qint64 total = fields.serialDay() * 86400 + fields.hour * 3600 + fields.minute * 60 + fields.second + seconds;
    qint64 day = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    qint64 second = total - day * 86400;
    Fields moved = Fields::fromSerialDay(day);
    moved.hour = int(second / 3600);
    moved.minute = int(second / 60 % 60);
    moved.second = int(second % 60);
    fields = moved;
}

void dateAddFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    for (int i = 0; i < 3; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    const Context &context = contextOf(ctx);
    const QByteArray interval
        = QByteArray(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])), sqlite3_value_bytes(argv[0]))
              .trimmed()
              .toLower();
    Error error = Error::None;
    double number = 0;
    Fields fields;
    if (!readNumber(argv[1], context, number, error) || !readDate(argv[2], context, fields, error)) {
        resultError(ctx, error);
        return;
    }
    // A whole number of intervals, as large as any span between the years 100 and 9999 needs.
    const std::optional<qint64> count = JetConvert::roundToInteger(number, -400000000000LL, 400000000000LL, &error);
    if (!count) {
        resultError(ctx, error);
        return;
    }
    const qint64 n = *count;
    const bool withinYears = n > -120000 && n < 120000;
    if (interval == "yyyy" && withinYears) {
        addMonths(fields, n * 12);
    } else if (interval == "q" && withinYears) {
        addMonths(fields, n * 3);
    } else if (interval == "m" && withinYears) {
        addMonths(fields, n);
    } else if ((interval == "d" || interval == "y" || interval == "w") && n > -4000000 && n < 4000000) {
        addSeconds(fields, n * 86400);
    } else if (interval == "ww" && n > -600000 && n < 600000) {
        addSeconds(fields, n * 7 * 86400);
    } else if (interval == "h" && n > -90000000 && n < 90000000) {
        addSeconds(fields, n * 3600);
    } else if (interval == "n" && n > -6000000000LL && n < 6000000000LL) {
        addSeconds(fields, n * 60);
    } else if (interval == "s") {
        addSeconds(fields, n);
    } else if (interval == "yyyy" || interval == "q" || interval == "m" || interval == "d" || interval == "y"
        || interval == "w" || interval == "ww" || interval == "h" || interval == "n") {
        fields.year = 0; // far outside the calendar: reported below
    } else {
        sqlite3_result_error(ctx, "Invalid procedure call or argument", -1);
        return;
    }
    if (fields.year < 100 || fields.year > 9999) {
        resultError(ctx, Error::Overflow);
        return;
    }
    resultStoredDate(ctx, fields);
}

void jetDateFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    Fields fields;
    Error error = Error::None;
    if (!readDate(argv[0], contextOf(ctx), fields, error)) {
        sqlite3_result_error(ctx, JetFunctions::typeMismatchInInsert, -1);
        return;
    }
    resultStoredDate(ctx, fields);
}

void jetNumberFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL || type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    double number = 0;
    Error error = Error::None;
    if (!readNumber(argv[0], contextOf(ctx), number, error)) {
        if (error == Error::Overflow)
            resultError(ctx, error);
        else
            sqlite3_result_error(ctx, JetFunctions::typeMismatchInInsert, -1);
        return;
    }
    sqlite3_result_double(ctx, number);
}

void jetIntegerFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    roundingFunction(ctx, argv[0], std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), true);
}

} // namespace

bool JetFunctions::install(sqlite3 *db, const JetLocale &locale, QString *error)
{
    struct Definition
    {
        const char *name;
        int arguments;
        void (*function)(sqlite3_context *, int, sqlite3_value **);
    };
    static constexpr Definition definitions[] = {
        {"Format", 2, formatFunction},
        {"CLng", 1, clngFunction},
        {"CDate", 1, cdateFunction},
        {"DateAdd", 3, dateAddFunction},
        {"jet_date", 1, jetDateFunction},
        {"jet_number", 1, jetNumberFunction},
        {"jet_integer", 1, jetIntegerFunction},
    };
    auto *context = new Context(locale);
    // One reference for this function until all are registered, so that a failure midway
    // cannot delete the context under the functions already installed.
    context->references = 1;
    bool ok = true;
    for (const Definition &definition : definitions) {
        ++context->references;
        const int rc = sqlite3_create_function_v2(db, definition.name, definition.arguments,
            SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, context, definition.function, nullptr, nullptr,
            releaseContext);
        if (rc != SQLITE_OK) {
            // SQLite has already called the destructor for this registration.
            if (error)
                *error = QString::fromUtf8(sqlite3_errmsg(db));
            ok = false;
            break;
        }
    }
    releaseContext(context);
    return ok;
}
