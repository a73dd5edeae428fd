// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

#include <cstddef>

// The form in which the database keeps dates: text "yyyy-MM-dd HH:mm:ss". Being ISO ordered,
// such texts compare and sort as the dates they stand for, and they read well in the sqlite3 shell.
class StoredDate
{
public:
    // The fields of a calendar date and a time of day, as the SQL functions pass them around
    // without building QDateTime objects for every row.
    struct Fields
    {
        int year = 0;
        int month = 0;
        int day = 0;
        int hour = 0;
        int minute = 0;
        int second = 0;

        bool isValid() const;
        // Days since 1899-12-30, the zero of the serial date numbers the program's SQL dialect uses.
        qint64 serialDay() const;
        static Fields fromSerialDay(qint64 serialDay);
        QDateTime toDateTime() const;
        static Fields fromDateTime(const QDateTime &dateTime);
    };

    static constexpr int TextLength = 19;

    static QString format(const QDateTime &dateTime);
    // Invalid QDateTime when the text is not a stored date.
    static QDateTime parse(const QString &text);

    // Byte-level forms for the per-row SQL functions. write() fills exactly TextLength bytes.
    static bool parseFields(const char *text, std::size_t length, Fields &fields);
    static void write(const Fields &fields, char *out);

    static bool isLeapYear(int year);
    static int daysInMonth(int year, int month);
};
