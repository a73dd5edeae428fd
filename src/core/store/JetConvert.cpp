// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/JetConvert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

using namespace Qt::StringLiterals;

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

// Length of the space at p: ASCII space or tab, no-break space, narrow no-break space; 0 if none.
int spaceLength(const char *p, const char *end)
{
    if (p < end && (*p == ' ' || *p == '\t'))
        return 1;
    if (end - p >= 2 && static_cast<unsigned char>(p[0]) == 0xC2 && static_cast<unsigned char>(p[1]) == 0xA0)
        return 2;
    if (end - p >= 3 && static_cast<unsigned char>(p[0]) == 0xE2 && static_cast<unsigned char>(p[1]) == 0x80
        && static_cast<unsigned char>(p[2]) == 0xAF)
        return 3;
    return 0;
}

void trimSpaces(const char *&p, const char *&end)
{
    while (int n = spaceLength(p, end))
        p += n;
    while (end > p) {
        if (end[-1] == ' ' || end[-1] == '\t')
            --end;
        else if (end - p >= 2 && spaceLength(end - 2, end) == 2)
            end -= 2;
        else if (end - p >= 3 && spaceLength(end - 3, end) == 3)
            end -= 3;
        else
            break;
    }
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline bool isWordByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
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

// The text with decimal digits of other scripts made ASCII ("١٢٫٥" is how QLocale writes 12.5
// under Arabic locales); empty when it has none.
QByteArray withAsciiDigits(const char *text, std::size_t length)
{
    if (std::none_of(text, text + length, [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return {};
    QList<uint> codePoints = QString::fromUtf8(text, qsizetype(length)).toUcs4();
    bool changed = false;
    for (uint &c : codePoints) {
        if (c >= 0x80 && QChar::category(char32_t(c)) == QChar::Number_DecimalDigit) {
            c = '0' + uint(QChar::digitValue(char32_t(c)));
            changed = true;
        }
    }
    return changed
        ? QString::fromUcs4(reinterpret_cast<const char32_t *>(codePoints.constData()), codePoints.size()).toUtf8()
        : QByteArray();
}

enum class Kind { Number, Month, Meridiem };

struct Component
{
    Kind kind;
    int value;
    int digits;
};

struct DateRules
{
    JetLocale::DateOrder order;
    QByteArray dateSeparator;
    QByteArray timeSeparator;
    const QList<std::pair<QString, int>> *monthWords;
    QString amText; // lower case
    QString pmText;
};

bool isDateSeparatorText(const std::string &separator, const DateRules &rules)
{
    for (const char c : separator) {
        if (!std::strchr("/-., \t", c) && !rules.dateSeparator.contains(c))
            return false;
    }
    return true;
}

bool isTimeSeparatorText(const std::string &separator, const DateRules &rules)
{
    if (separator.empty())
        return false;
    for (const char c : separator) {
        if (c != ':' && c != '.' && !rules.timeSeparator.contains(c))
            return false;
    }
    return true;
}

int fullYear(const Component &year)
{
    // Two-digit years fall in the window 1930-2029.
    if (year.digits <= 2)
        return year.value < 30 ? 2000 + year.value : 1900 + year.value;
    return year.value;
}

std::optional<Fields> scanDate(const char *p, const char *end, const DateRules &rules, Error *error)
{
    trimSpaces(p, end);
    constexpr int maxComponents = 8;
    Component components[maxComponents];
    std::string separators[maxComponents]; // separators[i] follows components[i]
    int count = 0;
    std::string leading;

    while (p < end) {
        if (isDigit(*p)) {
            if (count == maxComponents)
                return fail(error, Error::TypeMismatch);
            int value = 0;
            int digits = 0;
            while (p < end && isDigit(*p)) {
                if (++digits > 9)
                    return fail(error, Error::TypeMismatch);
                value = value * 10 + (*p++ - '0');
            }
            components[count++] = {Kind::Number, value, digits};
        } else if (isWordByte(*p)) {
            const char *start = p;
            while (p < end && isWordByte(*p))
                ++p;
            const QString word = QString::fromUtf8(start, p - start).toLower();
            int month = 0;
            for (const auto &[name, number] : *rules.monthWords) {
                if (name == word) {
                    month = number;
                    break;
                }
            }
            if (month != 0 || word == rules.amText || word == rules.pmText) {
                if (count == maxComponents)
                    return fail(error, Error::TypeMismatch);
                components[count++] = month != 0 ? Component {Kind::Month, month, 0}
                                                 : Component {Kind::Meridiem, word == rules.pmText ? 1 : 0, 0};
                continue;
            }
            // Marks that belong to the locale's separators, such as the right-to-left mark of "d‏/M‏/yyyy".
            const QByteArray bytes(start, p - start);
            if (!rules.dateSeparator.contains(bytes) && !rules.timeSeparator.contains(bytes))
                return fail(error, Error::TypeMismatch);
            (count == 0 ? leading : separators[count - 1]).append(start, p - start);
        } else {
            (count == 0 ? leading : separators[count - 1]) += *p++;
        }
    }
    if (count == 0 || !leading.empty())
        return fail(error, Error::TypeMismatch);
    // A trailing "." as in "2026. 12. 05." is allowed; nothing else may follow the last field.
    for (const char c : separators[count - 1]) {
        if (c != '.' && c != ' ')
            return fail(error, Error::TypeMismatch);
    }
    separators[count - 1].clear();

    int meridiem = -1;
    if (components[count - 1].kind == Kind::Meridiem) {
        meridiem = components[count - 1].value;
        --count;
        if (count > 0)
            separators[count - 1].clear();
    }
    for (int i = 0; i < count; ++i) {
        if (components[i].kind == Kind::Meridiem || (components[i].kind == Kind::Month && i >= 3))
            return fail(error, Error::TypeMismatch);
    }

    Fields fields;
    int timeStart = 0;
    const bool timeOnly = (count == 2 || count == 3) && components[0].kind == Kind::Number
        && components[1].kind == Kind::Number
        && (separators[0].find(':') != std::string::npos
            || (separators[0] == rules.timeSeparator.toStdString() && rules.timeSeparator != rules.dateSeparator));
    if (timeOnly) {
        fields.year = 1899;
        fields.month = 12;
        fields.day = 30;
    } else {
        if (count != 3 && count != 5 && count != 6)
            return fail(error, Error::TypeMismatch);
        int monthIndex = -1;
        for (int i = 0; i < 3; ++i) {
            if (components[i].kind == Kind::Month) {
                if (monthIndex >= 0)
                    return fail(error, Error::TypeMismatch);
                monthIndex = i;
            }
        }
        for (int i = 0; i < 2; ++i) {
            const bool besideName = monthIndex == i || monthIndex == i + 1;
            if ((separators[i].empty() && !besideName) || !isDateSeparatorText(separators[i], rules))
                return fail(error, Error::TypeMismatch);
        }
        if (monthIndex >= 0) {
            Component others[2];
            int n = 0;
            for (int i = 0; i < 3; ++i) {
                if (i != monthIndex)
                    others[n++] = components[i];
            }
            const bool yearFirst = others[0].digits >= 3;
            fields.month = components[monthIndex].value;
            fields.day = yearFirst ? others[1].value : others[0].value;
            fields.year = fullYear(yearFirst ? others[0] : others[1]);
        } else {
            JetLocale::DateOrder order = rules.order;
            if (components[0].digits >= 3)
                order = JetLocale::DateOrder::YearMonthDay;
            const Component &a = components[0];
            const Component &b = components[1];
            const Component &c = components[2];
            switch (order) {
            case JetLocale::DateOrder::YearMonthDay:
                fields = Fields {fullYear(a), b.value, c.value};
                break;
            case JetLocale::DateOrder::DayMonthYear:
                fields = Fields {fullYear(c), b.value, a.value};
                break;
            case JetLocale::DateOrder::MonthDayYear:
                fields = Fields {fullYear(c), a.value, b.value};
                break;
            }
        }
        if (count > 3) {
            const std::string &between = separators[2];
            if (between.find_first_of(" \t") == std::string::npos || !isDateSeparatorText(between, rules))
                return fail(error, Error::TypeMismatch);
        }
        timeStart = 3;
    }
    const int timeCount = count - timeStart;
    if (timeCount > 0) {
        for (int i = timeStart; i < count; ++i) {
            if (components[i].kind != Kind::Number)
                return fail(error, Error::TypeMismatch);
            if (i + 1 < count && !isTimeSeparatorText(separators[i], rules))
                return fail(error, Error::TypeMismatch);
        }
        fields.hour = components[timeStart].value;
        fields.minute = components[timeStart + 1].value;
        fields.second = timeCount == 3 ? components[timeStart + 2].value : 0;
        if (meridiem >= 0) {
            if (fields.hour < 1 || fields.hour > 12)
                return fail(error, Error::TypeMismatch);
            fields.hour = fields.hour % 12 + (meridiem == 1 ? 12 : 0);
        }
    } else if (meridiem >= 0) {
        return fail(error, Error::TypeMismatch);
    }
    if (fields.year < 100 || !fields.isValid())
        return fail(error, Error::TypeMismatch);
    return fields;
}

QList<std::pair<QString, int>> englishMonthWords()
{
    QList<std::pair<QString, int>> words;
    static const char *const names[] = {"january", "february", "march", "april", "may", "june", "july", "august",
        "september", "october", "november", "december"};
    for (int month = 1; month <= 12; ++month) {
        const QString name = QString::fromLatin1(names[month - 1]);
        words.append({name, month});
        words.append({name.left(3), month});
    }
    return words;
}

QString monthWord(QString name)
{
    name = name.toLower();
    while (name.endsWith(u'.'))
        name.chop(1);
    return name;
}

} // namespace

JetConvert::JetConvert(const JetLocale &locale)
    : m_locale(locale)
{
    for (int month = 1; month <= 12; ++month) {
        m_monthWords.append({monthWord(locale.monthAbbreviations().at(month - 1)), month});
        m_monthWords.append({monthWord(locale.monthNames().at(month - 1)), month});
    }
    m_monthWords += englishMonthWords();
    m_amText = locale.amText().toLower();
    m_pmText = locale.pmText().toLower();
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
    trimSpaces(p, end);
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
            const QByteArray ascii = withAsciiDigits(text, length);
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
    const DateRules rules {m_locale.dateOrder(), m_locale.dateSeparatorUtf8(), m_locale.timeSeparatorUtf8(),
        &m_monthWords, m_amText, m_pmText};
    std::optional<Fields> fields = scanDate(text, text + length, rules, error);
    if (!fields) {
        const QByteArray ascii = withAsciiDigits(text, length);
        if (!ascii.isEmpty())
            fields = scanDate(ascii.constData(), ascii.constData() + ascii.size(), rules, error);
    }
    if (fields && error)
        *error = Error::None;
    return fields;
}

std::optional<StoredDate::Fields> JetConvert::dateLiteralFields(QStringView text)
{
    static const QList<std::pair<QString, int>> monthWords = englishMonthWords();
    const DateRules rules {JetLocale::DateOrder::MonthDayYear, QByteArrayLiteral("/"), QByteArrayLiteral(":"),
        &monthWords, u"am"_s, u"pm"_s};
    const QByteArray utf8 = text.toUtf8();
    return scanDate(utf8.constData(), utf8.constData() + utf8.size(), rules, nullptr);
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
