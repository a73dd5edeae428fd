// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/DatePattern.h"

#include <algorithm>
#include <cstring>

namespace {

class Writer
{
public:
    Writer(char *out, qsizetype capacity)
        : m_out(out)
        , m_capacity(capacity)
    {
    }

    void bytes(const char *data, qsizetype length)
    {
        if (m_length + length <= m_capacity)
            std::memcpy(m_out + m_length, data, static_cast<std::size_t>(length));
        m_length += length;
    }
    void bytes(const QByteArray &data) { bytes(data.constData(), data.size()); }

    // Fields are never negative and have at most four digits (years 100 to 9999).
    void number(int value, int minimumDigits)
    {
        char digits[4];
        const int count = std::max(minimumDigits, value >= 1000 ? 4 : value >= 100 ? 3 : value >= 10 ? 2 : 1);
        for (int i = count - 1; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        bytes(digits, count);
    }

    qsizetype length() const { return m_length; }

private:
    char *m_out;
    qsizetype m_capacity;
    qsizetype m_length = 0;
};

int dayOfYear(const StoredDate::Fields &date)
{
    int days = date.day;
    for (int month = 1; month < date.month; ++month)
        days += StoredDate::daysInMonth(date.year, month);
    return days;
}

} // namespace

DatePattern::DatePattern(QStringView pattern)
{
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern.at(i);
        const char16_t letter = c.toLower().unicode();
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern.at(i + run).toLower() == c.toLower())
            ++run;
        qsizetype used = run;
        switch (letter) {
        case u'y':
            used = run >= 4 ? 4 : (run >= 2 ? 2 : 1);
            m_elements.push_back({used == 4 ? Part::Year4 : (used == 2 ? Part::Year2 : Part::DayOfYear)});
            break;
        case u'm':
            used = std::min<qsizetype>(run, 4);
            m_elements.push_back({used == 4 ? Part::MonthName
                    : used == 3             ? Part::MonthAbbreviation
                    : used == 2             ? Part::Month2
                                            : Part::Month1});
            break;
        case u'd':
        case u'h':
        case u'n':
        case u's': {
            used = std::min<qsizetype>(run, 2);
            static constexpr Part twoDigit[] = {Part::Day2, Part::Hour2, Part::Minute2, Part::Second2};
            static constexpr Part oneDigit[] = {Part::Day1, Part::Hour1, Part::Minute1, Part::Second1};
            const int which = letter == u'd' ? 0 : letter == u'h' ? 1 : letter == u'n' ? 2 : 3;
            m_elements.push_back({used == 2 ? twoDigit[which] : oneDigit[which]});
            break;
        }
        case u'/':
            used = 1;
            m_elements.push_back({Part::DateSeparator});
            break;
        case u':':
            used = 1;
            m_elements.push_back({Part::TimeSeparator});
            break;
        default:
            used = 1;
            addLiteral(pattern.sliced(i, 1));
            break;
        }
        i += used;
    }
}

void DatePattern::addLiteral(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    if (!m_elements.empty() && m_elements.back().part == Part::Literal) {
        m_elements.back().literalLength += utf8.size();
    } else {
        m_elements.push_back({Part::Literal, m_literals.size(), utf8.size()});
    }
    m_literals += utf8;
}

qsizetype DatePattern::formatUtf8(
    const StoredDate::Fields &date, const JetLocale &locale, char *out, qsizetype capacity) const
{
    Writer writer(out, capacity);
    for (const Element &element : m_elements) {
        switch (element.part) {
        case Part::Literal:
            writer.bytes(m_literals.constData() + element.literalOffset, element.literalLength);
            break;
        case Part::Year4:
            writer.number(date.year, 4);
            break;
        case Part::Year2:
            writer.number(date.year % 100, 2);
            break;
        case Part::DayOfYear:
            writer.number(dayOfYear(date), 1);
            break;
        case Part::MonthName:
            writer.bytes(locale.monthNames().at(date.month - 1).toUtf8());
            break;
        case Part::MonthAbbreviation:
            writer.bytes(locale.monthAbbreviationUtf8(date.month));
            break;
        case Part::Month2:
        case Part::Month1:
            writer.number(date.month, element.part == Part::Month2 ? 2 : 1);
            break;
        case Part::Day2:
        case Part::Day1:
            writer.number(date.day, element.part == Part::Day2 ? 2 : 1);
            break;
        case Part::Hour2:
        case Part::Hour1:
            writer.number(date.hour, element.part == Part::Hour2 ? 2 : 1);
            break;
        case Part::Minute2:
        case Part::Minute1:
            writer.number(date.minute, element.part == Part::Minute2 ? 2 : 1);
            break;
        case Part::Second2:
        case Part::Second1:
            writer.number(date.second, element.part == Part::Second2 ? 2 : 1);
            break;
        case Part::DateSeparator:
            writer.bytes(locale.dateSeparatorUtf8());
            break;
        case Part::TimeSeparator:
            writer.bytes(locale.timeSeparatorUtf8());
            break;
        }
    }
    return writer.length();
}

QString DatePattern::format(const StoredDate::Fields &date, const JetLocale &locale) const
{
    char buffer[128];
    const qsizetype length = formatUtf8(date, locale, buffer, sizeof buffer);
    if (length <= qsizetype(sizeof buffer))
        return QString::fromUtf8(buffer, length);
    QByteArray large(length, Qt::Uninitialized);
    formatUtf8(date, locale, large.data(), large.size());
    return QString::fromUtf8(large);
}
