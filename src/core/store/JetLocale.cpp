// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/JetLocale.h"

using namespace Qt::StringLiterals;

namespace {

struct PictureField
{
    QChar letter; // lower case: 'd', 'm', 'y', 'h'
    bool textual = false;
    QString separatorAfter;
};

// Splits a QLocale date or time picture ("dd.MM.yy", "yyyy. MM. dd.", "d.MM.yy 'г'.", "AP h:mm")
// into its fields and the text that follows each, with quoted literals taken as text.
QList<PictureField> pictureFields(const QString &picture)
{
    QList<PictureField> fields;
    QString pending;
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture.at(i);
        if (c == u'\'') {
            const qsizetype close = picture.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? picture.size() : close;
            pending += picture.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        const QChar lower = c.toLower();
        if (lower == u'd' || c == u'M' || lower == u'y' || lower == u'h' || c == u'm' || lower == u's' || c == u'A'
            || c == u'a' || c == u't') {
            qsizetype run = 1;
            while (i + run < picture.size() && picture.at(i + run) == c)
                ++run;
            if (!fields.isEmpty())
                fields.last().separatorAfter = pending;
            pending.clear();
            // Minutes are 'm' in a time picture; months are 'M'.
            const QChar key = c == u'M' ? u'm' : (c == u'm' ? u'n' : lower);
            fields.append({key, c == u'M' && run >= 3, {}});
            i += run;
            continue;
        }
        pending += c;
        ++i;
    }
    return fields;
}

} // namespace

JetLocale JetLocale::current()
{
    return JetLocale(QLocale());
}

JetLocale::JetLocale(const QLocale &locale)
{
    const QList<PictureField> dateFields = pictureFields(locale.dateFormat(QLocale::ShortFormat));
    QString order;
    bool textualMonth = false;
    for (const PictureField &field : dateFields) {
        if ((field.letter == u'd' || field.letter == u'm' || field.letter == u'y') && !order.contains(field.letter))
            order += field.letter;
        textualMonth = textualMonth || field.textual;
    }
    if (order.startsWith(u'y'))
        m_dateOrder = DateOrder::YearMonthDay;
    else if (order.startsWith(u'd'))
        m_dateOrder = DateOrder::DayMonthYear;
    else
        m_dateOrder = DateOrder::MonthDayYear;

    // A picture with a month name ("d MMM yyyy", the C locale) has no numeric separator; "/" is
    // what such a system falls back to.
    if (dateFields.size() >= 2 && !textualMonth && !dateFields.first().separatorAfter.trimmed().isEmpty())
        m_dateSeparator = dateFields.first().separatorAfter;
    else
        m_dateSeparator = u"/"_s;

    m_timeSeparator = u":"_s;
    const QList<PictureField> timeFields = pictureFields(locale.timeFormat(QLocale::ShortFormat));
    for (qsizetype i = 0; i + 1 < timeFields.size(); ++i) {
        if (timeFields.at(i).letter == u'h' && timeFields.at(i + 1).letter == u'n'
            && !timeFields.at(i).separatorAfter.trimmed().isEmpty()) {
            m_timeSeparator = timeFields.at(i).separatorAfter;
            break;
        }
    }

    m_decimalPoint = locale.decimalPoint();
    m_groupSeparator = locale.groupSeparator();
    m_negativeSign = locale.negativeSign();
    m_positiveSign = locale.positiveSign();
    m_exponential = locale.exponential();
    m_amText = locale.amText();
    m_pmText = locale.pmText();
    for (int month = 1; month <= 12; ++month) {
        m_monthAbbreviations.append(locale.standaloneMonthName(month, QLocale::ShortFormat));
        m_monthNames.append(locale.standaloneMonthName(month, QLocale::LongFormat));
    }

    m_dateSeparatorUtf8 = m_dateSeparator.toUtf8();
    m_timeSeparatorUtf8 = m_timeSeparator.toUtf8();
    m_decimalPointUtf8 = m_decimalPoint.toUtf8();
    m_groupSeparatorUtf8 = m_groupSeparator.toUtf8();
    m_negativeSignUtf8 = m_negativeSign.toUtf8();
    m_positiveSignUtf8 = m_positiveSign.toUtf8();
    QString exponential = m_exponential;
    for (QChar &c : exponential) {
        if (c.unicode() >= 0x80 && c.category() == QChar::Number_DecimalDigit)
            c = QChar(u'0' + c.digitValue());
    }
    m_exponentialUtf8 = exponential.toUtf8();
    for (const QString &name : std::as_const(m_monthAbbreviations))
        m_monthAbbreviationsUtf8.append(name.toUtf8());
}
