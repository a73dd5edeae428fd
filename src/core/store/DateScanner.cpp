// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/DateScanner.h"

#include "core/store/Utf8Scan.h"

#include <cstring>
#include <string>

using namespace Qt::StringLiterals;
using Fields = StoredDate::Fields;
using Rules = DateScanner::Rules;

namespace {

enum class Kind { Number, Month, Meridiem };

struct Component
{
    Kind kind;
    int value; // the number; the month; 1 for PM, 0 for AM
    int digits;
};

// The text cut into numbers and words, and what stands between them.
struct Tokens
{
    static constexpr int Max = 8;
    Component components[Max];
    std::string separators[Max]; // separators[i] follows components[i]
    int count = 0;
    std::string leading;

    std::string &separatorHere() { return count == 0 ? leading : separators[count - 1]; }
    bool add(const Component &component)
    {
        if (count == Max)
            return false;
        components[count++] = component;
        return true;
    }
};

// At most nine digits, so that the value fits an int.
bool readNumber(const char *&p, const char *end, Tokens &tokens)
{
    int value = 0;
    int digits = 0;
    while (p < end && Utf8Scan::isDigit(*p)) {
        if (++digits > 9)
            return false;
        value = value * 10 + (*p++ - '0');
    }
    return tokens.add({Kind::Number, value, digits});
}

// A month's name, AM or PM, or a mark that belongs to the locale's separators (such as the
// right-to-left mark of "d‏/M‏/yyyy"); any other word is no date.
bool readWord(const char *&p, const char *end, const Rules &rules, Tokens &tokens)
{
    const char *start = p;
    while (p < end && Utf8Scan::isWordByte(*p))
        ++p;
    const QString word = QString::fromUtf8(start, p - start).toLower();
    for (const auto &[name, month] : rules.monthWords) {
        if (name == word)
            return tokens.add({Kind::Month, month, 0});
    }
    if (word == rules.amText || word == rules.pmText)
        return tokens.add({Kind::Meridiem, word == rules.pmText ? 1 : 0, 0});
    const QByteArray bytes(start, p - start);
    if (!rules.dateSeparator.contains(bytes) && !rules.timeSeparator.contains(bytes))
        return false;
    tokens.separatorHere().append(start, p - start);
    return true;
}

bool readTokens(const char *p, const char *end, const Rules &rules, Tokens &tokens)
{
    while (p < end) {
        if (Utf8Scan::isDigit(*p)) {
            if (!readNumber(p, end, tokens))
                return false;
        } else if (Utf8Scan::isWordByte(*p)) {
            if (!readWord(p, end, rules, tokens))
                return false;
        } else {
            tokens.separatorHere() += *p++;
        }
    }
    if (tokens.count == 0 || !tokens.leading.empty())
        return false;
    // A trailing "." as in "2026. 12. 05." is allowed; nothing else may follow the last field.
    std::string &trailing = tokens.separators[tokens.count - 1];
    if (trailing.find_first_not_of(". ") != std::string::npos)
        return false;
    trailing.clear();
    return true;
}

// Takes off the AM or PM that ends the text: 1 for PM, 0 for AM, -1 when there is none.
int takeMeridiem(Tokens &tokens)
{
    if (tokens.components[tokens.count - 1].kind != Kind::Meridiem)
        return -1;
    const int pm = tokens.components[--tokens.count].value;
    if (tokens.count > 0)
        tokens.separators[tokens.count - 1].clear();
    return pm;
}

// AM or PM only at the end, a month's name only among the date's three fields.
bool kindsInPlace(const Tokens &tokens)
{
    for (int i = 0; i < tokens.count; ++i) {
        const Kind kind = tokens.components[i].kind;
        if (kind == Kind::Meridiem || (kind == Kind::Month && i >= 3))
            return false;
    }
    return true;
}

// Between the date's fields: the usual marks, spaces, or the locale's own separator.
bool isDateSeparatorText(const std::string &separator, const Rules &rules)
{
    for (const char c : separator) {
        if (!std::strchr("/-., \t", c) && !rules.dateSeparator.contains(c))
            return false;
    }
    return true;
}

// Between the time's fields: ':' , '.' or the locale's own separator, never nothing.
bool isTimeSeparatorText(const std::string &separator, const Rules &rules)
{
    if (separator.empty())
        return false;
    for (const char c : separator) {
        if (c != ':' && c != '.' && !rules.timeSeparator.contains(c))
            return false;
    }
    return true;
}

// Two or three numbers with a time separator between the first two.
bool isTimeOnly(const Tokens &tokens, const Rules &rules)
{
    const std::string &first = tokens.separators[0];
    return (tokens.count == 2 || tokens.count == 3) && tokens.components[0].kind == Kind::Number
        && tokens.components[1].kind == Kind::Number
        && (first.find(':') != std::string::npos
            || (first == rules.timeSeparator.toStdString() && rules.timeSeparator != rules.dateSeparator));
}

// Where a month's name stands among the first three fields: -1 none, -2 more than one.
int namedMonthIndex(const Tokens &tokens)
{
    int index = -1;
    for (int i = 0; i < 3; ++i) {
        if (tokens.components[i].kind == Kind::Month)
            index = index == -1 ? i : -2;
    }
    return index;
}

// With a named month, the other two numbers are day and year, the year first if it has three
// digits or more.
Fields namedMonthDate(const Tokens &tokens, int monthIndex)
{
    Component others[2];
    int n = 0;
    for (int i = 0; i < 3; ++i) {
        if (i != monthIndex)
            others[n++] = tokens.components[i];
    }
    const bool yearFirst = others[0].digits >= 3;
    const Component &year = yearFirst ? others[0] : others[1];
    return Fields {DateScanner::fullYear(year.value, year.digits), tokens.components[monthIndex].value,
        yearFirst ? others[1].value : others[0].value};
}

Fields numberDate(const Tokens &tokens, JetLocale::DateOrder order)
{
    const Component &a = tokens.components[0];
    const Component &b = tokens.components[1];
    const Component &c = tokens.components[2];
    if (a.digits >= 3)
        order = JetLocale::DateOrder::YearMonthDay;
    switch (order) {
    case JetLocale::DateOrder::YearMonthDay:
        return Fields {DateScanner::fullYear(a.value, a.digits), b.value, c.value};
    case JetLocale::DateOrder::DayMonthYear:
        return Fields {DateScanner::fullYear(c.value, c.digits), b.value, a.value};
    case JetLocale::DateOrder::MonthDayYear:
        break;
    }
    return Fields {DateScanner::fullYear(c.value, c.digits), a.value, b.value};
}

// The date of the first three fields; a time after them must stand after a space.
std::optional<Fields> readDate(const Tokens &tokens, const Rules &rules)
{
    if (tokens.count != 3 && tokens.count != 5 && tokens.count != 6)
        return std::nullopt;
    const int monthIndex = namedMonthIndex(tokens);
    if (monthIndex == -2)
        return std::nullopt;
    for (int i = 0; i < 2; ++i) {
        // A name needs no separator beside it ("05Dec2026").
        const bool besideName = monthIndex == i || monthIndex == i + 1;
        if ((tokens.separators[i].empty() && !besideName) || !isDateSeparatorText(tokens.separators[i], rules))
            return std::nullopt;
    }
    if (tokens.count > 3) {
        const std::string &between = tokens.separators[2];
        if (between.find_first_of(" \t") == std::string::npos || !isDateSeparatorText(between, rules))
            return std::nullopt;
    }
    return monthIndex >= 0 ? namedMonthDate(tokens, monthIndex) : numberDate(tokens, rules.order);
}

// Hours, minutes and the seconds if given from the fields from start on; AM or PM needs a time.
bool readTime(const Tokens &tokens, int start, int meridiem, const Rules &rules, Fields &fields)
{
    const int count = tokens.count - start;
    if (count == 0)
        return meridiem < 0;
    for (int i = start; i < tokens.count; ++i) {
        if (tokens.components[i].kind != Kind::Number)
            return false;
        if (i + 1 < tokens.count && !isTimeSeparatorText(tokens.separators[i], rules))
            return false;
    }
    fields.hour = tokens.components[start].value;
    fields.minute = tokens.components[start + 1].value;
    fields.second = count == 3 ? tokens.components[start + 2].value : 0;
    if (meridiem >= 0)
        fields.hour = DateScanner::hourOfDay(fields.hour, meridiem == 1);
    return fields.hour >= 0;
}

DateScanner::MonthWords englishMonthWords()
{
    DateScanner::MonthWords words;
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

DateScanner::DateScanner(Rules rules)
    : m_rules(std::move(rules))
{
}

DateScanner DateScanner::forLocale(const JetLocale &locale)
{
    Rules rules {locale.dateOrder(), locale.dateSeparatorUtf8(), locale.timeSeparatorUtf8(), {},
        locale.amText().toLower(), locale.pmText().toLower()};
    for (int month = 1; month <= 12; ++month) {
        rules.monthWords.append({monthWord(locale.monthAbbreviations().at(month - 1)), month});
        rules.monthWords.append({monthWord(locale.monthNames().at(month - 1)), month});
    }
    rules.monthWords += englishMonthWords();
    return DateScanner(std::move(rules));
}

const DateScanner &DateScanner::literal()
{
    static const DateScanner scanner(Rules {JetLocale::DateOrder::MonthDayYear, QByteArrayLiteral("/"),
        QByteArrayLiteral(":"), englishMonthWords(), u"am"_s, u"pm"_s});
    return scanner;
}

int DateScanner::fullYear(int value, int digits)
{
    if (digits <= 2)
        return value < 30 ? 2000 + value : 1900 + value;
    return value;
}

int DateScanner::hourOfDay(int hour, bool pm)
{
    if (hour < 1 || hour > 12)
        return -1;
    return hour % 12 + (pm ? 12 : 0);
}

std::optional<Fields> DateScanner::scan(const char *p, const char *end) const
{
    Utf8Scan::trimSpaces(p, end);
    Tokens tokens;
    if (!readTokens(p, end, m_rules, tokens))
        return std::nullopt;
    const int meridiem = takeMeridiem(tokens);
    if (!kindsInPlace(tokens))
        return std::nullopt;
    Fields fields;
    int timeStart = 0;
    if (isTimeOnly(tokens, m_rules)) {
        fields.year = 1899;
        fields.month = 12;
        fields.day = 30;
    } else {
        const std::optional<Fields> date = readDate(tokens, m_rules);
        if (!date)
            return std::nullopt;
        fields = *date;
        timeStart = 3;
    }
    if (!readTime(tokens, timeStart, meridiem, m_rules, fields) || fields.year < 100 || !fields.isValid())
        return std::nullopt;
    return fields;
}
