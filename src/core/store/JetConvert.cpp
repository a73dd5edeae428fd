// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/JetConvert.h"

#include "core/store/Utf8Scan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

using namespace Qt::StringLiterals;
using Utf8Scan::isDigit;
using Utf8Scan::spaceLength;

namespace {

using Error = JetConvert::Error;
using Fields = StoredDate::Fields;

constexpr double firstSerialDay = -657434.0; // 0100-01-01
constexpr double lastSerialDay = 2958465.0; // 9999-12-31

std::optional<Fields> fail(Error *error, Error why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

bool startsWith(const char *p, const char *end, const QByteArray &text)
{
    return !text.isEmpty() && end - p >= text.size() && std::memcmp(p, text.constData(), text.size()) == 0;
}

// How a locale writes the parts of a number, as UTF-8; an empty text is a part it lacks.
struct NumberSymbols
{
    QByteArray decimalPoint;
    QByteArray group;
    QByteArray exponential; // besides "e" and "E"
    QByteArray positiveSign; // besides "+" and "-"
    QByteArray negativeSign;
};

// The length of the sign at p, 0 if there is none; negative tells which.
int signLength(const char *p, const char *end, const NumberSymbols &symbols, bool &negative)
{
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        return 1;
    }
    if (startsWith(p, end, symbols.negativeSign)) {
        negative = true;
        return int(symbols.negativeSign.size());
    }
    if (startsWith(p, end, symbols.positiveSign)) {
        negative = false;
        return int(symbols.positiveSign.size());
    }
    return 0;
}

// Copies the number at [p, end) into out as "digits[.digits][e[-]digits]" when it is written with
// the given symbols. The last group must have three digits, so that "12.5" is not read as 125
// where "." groups digits; groups between may have two ("12,34,567"). The exponent is written
// "e", "E" or as the locale writes it ("2,5×10^−49"), its sign as "+", "-" or the locale's.
bool normaliseNumber(
    const char *p, const char *end, const NumberSymbols &symbols, std::string &out, bool &negativeExponent)
{
    const QByteArray &group = symbols.group;
    const bool spaceGroup
        = !group.isEmpty() && spaceLength(group.constData(), group.constData() + group.size()) == group.size();
    int digitsInGroup = 0;
    bool grouped = false;
    bool anyDigit = false;
    while (p < end) {
        if (isDigit(*p)) {
            out += *p++;
            ++digitsInGroup;
            anyDigit = true;
            continue;
        }
        int groupLength = 0;
        if (!group.isEmpty())
            groupLength = spaceGroup ? spaceLength(p, end) : (startsWith(p, end, group) ? int(group.size()) : 0);
        if (groupLength == 0)
            break;
        if (digitsInGroup == 0 || (grouped && digitsInGroup != 2 && digitsInGroup != 3))
            return false;
        grouped = true;
        digitsInGroup = 0;
        p += groupLength;
        if (p == end || !isDigit(*p))
            return false;
    }
    if (grouped && digitsInGroup != 3)
        return false;
    if (startsWith(p, end, symbols.decimalPoint)) {
        p += symbols.decimalPoint.size();
        out += '.';
        while (p < end && isDigit(*p)) {
            out += *p++;
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return false;
    int exponentLength = p < end && (*p == 'e' || *p == 'E') ? 1 : 0;
    if (exponentLength == 0 && startsWith(p, end, symbols.exponential))
        exponentLength = int(symbols.exponential.size());
    if (exponentLength > 0) {
        out += 'e';
        p += exponentLength;
        bool negative = false;
        if (const int length = signLength(p, end, symbols, negative)) {
            negativeExponent = negative;
            out += negative ? '-' : '+';
            p += length;
        }
        if (p == end || !isDigit(*p))
            return false;
        while (p < end && isDigit(*p))
            out += *p++;
    }
    return p == end;
}

} // namespace

JetConvert::JetConvert(const JetLocale &locale)
    : m_locale(locale)
    , m_dates(DateScanner::forLocale(locale))
{
}

std::optional<double> JetConvert::toDouble(QStringView text, Error *error) const
{
    const QByteArray utf8 = text.toUtf8();
    return toDoubleUtf8(utf8.constData(), std::size_t(utf8.size()), error);
}

std::optional<qint16> JetConvert::toInt16(QStringView text, Error *error) const
{
    const std::optional<double> value = toDouble(text, error);
    if (!value)
        return std::nullopt;
    const std::optional<qint64> rounded = roundToInteger(*value, -32768, 32767, error);
    return rounded ? std::optional<qint16>(qint16(*rounded)) : std::nullopt;
}

std::optional<qint32> JetConvert::toInt32(QStringView text, Error *error) const
{
    const std::optional<double> value = toDouble(text, error);
    if (!value)
        return std::nullopt;
    const std::optional<qint64> rounded
        = roundToInteger(*value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), error);
    return rounded ? std::optional<qint32>(qint32(*rounded)) : std::nullopt;
}

std::optional<QDateTime> JetConvert::toDateTime(QStringView text, Error *error) const
{
    const QByteArray utf8 = text.toUtf8();
    const std::optional<Fields> fields = toDateFieldsUtf8(utf8.constData(), std::size_t(utf8.size()), error);
    if (!fields)
        return std::nullopt;
    return fields->toDateTime();
}

std::optional<double> JetConvert::toDoubleUtf8(const char *text, std::size_t length, Error *error) const
{
    const char *p = text;
    const char *end = text + length;
    Utf8Scan::trimSpaces(p, end);
    const NumberSymbols symbols {m_locale.decimalPointUtf8(), m_locale.groupSeparatorUtf8(), m_locale.exponentialUtf8(),
        m_locale.positiveSignUtf8(), m_locale.negativeSignUtf8()};
    bool negative = false;
    p += signLength(p, end, symbols, negative);
    std::string digits;
    bool negativeExponent = false;
    if (!normaliseNumber(p, end, symbols, digits, negativeExponent)) {
        digits.clear();
        negativeExponent = false;
        static const NumberSymbols cForm {QByteArrayLiteral("."), {}, {}, {}, {}};
        if (!normaliseNumber(p, end, cForm, digits, negativeExponent)) {
            const QByteArray ascii = Utf8Scan::withAsciiDigits(text, length);
            if (!ascii.isEmpty())
                return toDoubleUtf8(ascii.constData(), std::size_t(ascii.size()), error);
            if (error)
                *error = Error::TypeMismatch;
            return std::nullopt;
        }
    }
    double value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range) {
        if (!negativeExponent) {
            if (error)
                *error = Error::Overflow;
            return std::nullopt;
        }
        value = 0;
    } else if (ec != std::errc() || ptr != digits.data() + digits.size()) {
        if (error)
            *error = Error::TypeMismatch;
        return std::nullopt;
    }
    if (error)
        *error = Error::None;
    return negative ? -value : value;
}

std::optional<StoredDate::Fields> JetConvert::toDateFieldsUtf8(const char *text, std::size_t length, Error *error) const
{
    std::optional<Fields> fields = m_dates.scan(text, text + length);
    if (!fields) {
        const QByteArray ascii = Utf8Scan::withAsciiDigits(text, length);
        if (!ascii.isEmpty())
            fields = m_dates.scan(ascii.constData(), ascii.constData() + ascii.size());
    }
    if (error)
        *error = fields ? Error::None : Error::TypeMismatch;
    return fields;
}

std::optional<StoredDate::Fields> JetConvert::dateLiteralFields(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    return DateScanner::literal().scan(utf8.constData(), utf8.constData() + utf8.size());
}

double JetConvert::roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction < 0.5)
        return floor;
    if (fraction > 0.5)
        return floor + 1;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1;
}

std::optional<qint64> JetConvert::roundToInteger(double value, qint64 minimum, qint64 maximum, Error *error)
{
    if (std::isnan(value)) {
        if (error)
            *error = Error::TypeMismatch;
        return std::nullopt;
    }
    const double rounded = roundHalfEven(value);
    // 2^63 is exactly representable; anything at or beyond it does not fit a qint64.
    if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0 || qint64(rounded) < minimum
        || qint64(rounded) > maximum) {
        if (error)
            *error = Error::Overflow;
        return std::nullopt;
    }
    if (error)
        *error = Error::None;
    return qint64(rounded);
}

std::optional<StoredDate::Fields> JetConvert::fieldsFromSerial(double serial, Error *error)
{
    if (std::isnan(serial))
        return fail(error, Error::TypeMismatch);
    if (serial < firstSerialDay || serial >= lastSerialDay + 1)
        return fail(error, Error::Overflow);
    const double day = std::trunc(serial);
    // The fraction is the time of day also for days before 1899-12-30, which count down.
    qint64 seconds = std::llround(std::fabs(serial - day) * 86400.0);
    seconds = std::min<qint64>(seconds, 86399);
    Fields fields = Fields::fromSerialDay(qint64(day));
    fields.hour = int(seconds / 3600);
    fields.minute = int(seconds / 60 % 60);
    fields.second = int(seconds % 60);
    if (error)
        *error = Error::None;
    return fields;
}

QString JetConvert::errorText(Error error)
{
    switch (error) {
    case Error::None:
        return {};
    case Error::TypeMismatch:
        return u"Type mismatch"_s;
    case Error::Overflow:
        return u"Overflow"_s;
    }
    return {};
}
