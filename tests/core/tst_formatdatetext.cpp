// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/FormatDateText.h"
#include "core/store/StoredDate.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Date text for SQL and display, and the stored form of dates.
class TestFormatDateText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void patterns_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");

        const QDateTime evening(QDate(2026, 12, 5), QTime(17, 29, 47));
        const QDateTime morning(QDate(2027, 1, 3), QTime(7, 3, 9));
        const QString sqlPattern = u"yyyy/mm/dd hh:nn:ss"_s;
        QTest::newRow("hu dot space") << u"hu_HU"_s << evening << sqlPattern << u"2026. 12. 05 17:29:47"_s;
        QTest::newRow("fi dotted time") << u"fi_FI"_s << evening << sqlPattern << u"2026.12.05 17.29.47"_s;
        QTest::newRow("fr month name") << u"fr_FR"_s << evening << u"dd mmm yyyy"_s << u"05 déc. 2026"_s;
        QTest::newRow("literal midnight, fi")
            << u"fi_FI"_s << evening << u"mm-dd-yyyy 00:00:00"_s << u"12-05-2026 00.00.00"_s;
        // en_US writes short dates with a two-digit year; the text must not pass through it.
        QTest::newRow("2030") << u"en_US"_s << QDateTime(QDate(2030, 6, 15), QTime(0, 0)) << sqlPattern
                              << u"2030/06/15 00:00:00"_s;
        QTest::newRow("invalid date: no text") << u"en_US"_s << QDateTime() << sqlPattern << QString();
        QTest::newRow("no leading zeros") << u"en_US"_s << morning << u"d/m/yy h:n:s"_s << u"3/1/27 7:3:9"_s;
    }

    void patterns()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, dateTime);
        QFETCH(QString, pattern);
        QLocale::setDefault(QLocale(locale));
        QTEST(FormatDateText(dateTime, pattern), "expected");
    }

    void storedDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: not a stored date

        QTest::newRow("evening") << u"2026-12-05 17:29:47"_s << QDateTime(QDate(2026, 12, 5), QTime(17, 29, 47));
        QTest::newRow("no leap day") << u"2025-02-29 00:00:00"_s << QDateTime();
        QTest::newRow("minute 60") << u"2026-12-05 17:60:00"_s << QDateTime();
        QTest::newRow("slashes") << u"2026/12/05 17:29:47"_s << QDateTime();
        QTest::newRow("letter digit") << u"2026-12-0x 17:29:47"_s << QDateTime();
    }

    void storedDate()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(StoredDate::parse(text), expected);
        if (expected.isValid())
            QCOMPARE(StoredDate::format(expected), text);
    }
};

QTEST_GUILESS_MAIN(TestFormatDateText)
#include "tst_formatdatetext.moc"
