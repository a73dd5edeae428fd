// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/StoredDate.h"

namespace {

constexpr int serialDayZeroJulian = 2415019; // 1899-12-30

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline int twoDigits(const char *p)
{
    return (p[0] - '0') * 10 + (p[1] - '0');
}

inline void putTwoDigits(char *p, int value)
{
    p[0] = static_cast<char>('0' + value / 10);
    p[1] = static_cast<char>('0' + value % 10);
}

} // namespace

bool StoredDate::Fields::isValid() const
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month)
        && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

qint64 StoredDate::Fields::serialDay() const
{
    return QDate(year, month, day).toJulianDay() - serialDayZeroJulian;
}

StoredDate::Fields StoredDate::Fields::fromSerialDay(qint64 serialDay)
{
    const QDate date = QDate::fromJulianDay(serialDay + serialDayZeroJulian);
    Fields fields;
    fields.year = date.year();
    fields.month = date.month();
    fields.day = date.day();
    return fields;
}

QDateTime StoredDate::Fields::toDateTime() const
{
    if (!isValid())
        return {};
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

StoredDate::Fields StoredDate::Fields::fromDateTime(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    return Fields {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

QString StoredDate::format(const QDateTime &dateTime)
{
    const Fields fields = Fields::fromDateTime(dateTime);
    if (!dateTime.isValid() || !fields.isValid())
        return {};
    char text[TextLength];
    write(fields, text);
    return QString::fromLatin1(text, TextLength);
}

QDateTime StoredDate::parse(const QString &text)
{
    if (text.size() != TextLength)
        return {};
    char bytes[TextLength];
    for (int i = 0; i < TextLength; ++i) {
        const char16_t c = text.at(i).unicode();
        bytes[i] = c < 0x80 ? static_cast<char>(c) : '?';
    }
    Fields fields;
    if (!parseFields(bytes, TextLength, fields))
        return {};
    return fields.toDateTime();
}

bool StoredDate::parseFields(const char *text, std::size_t length, Fields &fields)
{
    if (length != TextLength || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':'
        || text[16] != ':')
        return false;
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (!isDigit(text[i]))
            return false;
    }
    fields.year = twoDigits(text) * 100 + twoDigits(text + 2);
    fields.month = twoDigits(text + 5);
    fields.day = twoDigits(text + 8);
    fields.hour = twoDigits(text + 11);
    fields.minute = twoDigits(text + 14);
    fields.second = twoDigits(text + 17);
    return fields.isValid();
}

void StoredDate::write(const Fields &fields, char *out)
{
    putTwoDigits(out, fields.year / 100);
    putTwoDigits(out + 2, fields.year % 100);
    out[4] = '-';
    putTwoDigits(out + 5, fields.month);
    out[7] = '-';
    putTwoDigits(out + 8, fields.day);
    out[10] = ' ';
    putTwoDigits(out + 11, fields.hour);
    out[13] = ':';
    putTwoDigits(out + 14, fields.minute);
    out[16] = ':';
    putTwoDigits(out + 17, fields.second);
}

bool StoredDate::isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int StoredDate::daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}
