// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

// What the user's locale says about writing dates and numbers, taken once so that per-row
// conversions need not ask QLocale again. Every text is also kept as UTF-8, the form in which
// SQLite hands text to the SQL functions.
class JetLocale
{
public:
    enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

    // A snapshot of the default QLocale (the system locale unless QLocale::setDefault was called).
    static JetLocale current();
    explicit JetLocale(const QLocale &locale);

    const QString &dateSeparator() const { return m_dateSeparator; }
    const QString &timeSeparator() const { return m_timeSeparator; }
    const QString &decimalPoint() const { return m_decimalPoint; }
    const QString &groupSeparator() const { return m_groupSeparator; }
    DateOrder dateOrder() const { return m_dateOrder; }
    // month is 1..12.
    const QString &monthAbbreviation(int month) const { return m_monthAbbreviations.at(month - 1); }
    const QStringList &monthAbbreviations() const { return m_monthAbbreviations; }
    const QStringList &monthNames() const { return m_monthNames; }
    const QString &negativeSign() const { return m_negativeSign; }
    const QString &positiveSign() const { return m_positiveSign; }
    // What stands for "e" in the exponent of a number the locale writes: "E", "×10^", "اس".
    const QString &exponential() const { return m_exponential; }
    const QString &amText() const { return m_amText; }
    const QString &pmText() const { return m_pmText; }

    const QByteArray &dateSeparatorUtf8() const { return m_dateSeparatorUtf8; }
    const QByteArray &timeSeparatorUtf8() const { return m_timeSeparatorUtf8; }
    const QByteArray &decimalPointUtf8() const { return m_decimalPointUtf8; }
    const QByteArray &groupSeparatorUtf8() const { return m_groupSeparatorUtf8; }
    const QByteArray &negativeSignUtf8() const { return m_negativeSignUtf8; }
    const QByteArray &positiveSignUtf8() const { return m_positiveSignUtf8; }
    // The exponential with ASCII digits ("×10^" where the locale writes "×۱۰^"), as it reads
    // once the number's digits have been made ASCII.
    const QByteArray &exponentialUtf8() const { return m_exponentialUtf8; }
    const QByteArray &monthAbbreviationUtf8(int month) const { return m_monthAbbreviationsUtf8.at(month - 1); }

private:
    QString m_dateSeparator;
    QString m_timeSeparator;
    QString m_decimalPoint;
    QString m_groupSeparator;
    QString m_negativeSign;
    QString m_positiveSign;
    QString m_exponential;
    QString m_amText;
    QString m_pmText;
    DateOrder m_dateOrder = DateOrder::MonthDayYear;
    QStringList m_monthAbbreviations;
    QStringList m_monthNames;

    QByteArray m_dateSeparatorUtf8;
    QByteArray m_timeSeparatorUtf8;
    QByteArray m_decimalPointUtf8;
    QByteArray m_groupSeparatorUtf8;
    QByteArray m_negativeSignUtf8;
    QByteArray m_positiveSignUtf8;
    QByteArray m_exponentialUtf8;
    QList<QByteArray> m_monthAbbreviationsUtf8;
};
