// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/JetConvert.h"
#include "core/store/JetLocale.h"
#include "core/store/NumberText.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Reading numbers and dates the way the program's SQL dialect does, under pinned locales.
class TestJetConvert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toDouble_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::addColumn<JetConvert::Error>("error"); // None means expected holds

        const auto row = [](const char *name, const QString &locale, const QString &text, double expected,
                             JetConvert::Error error = JetConvert::Error::None) {
            QTest::newRow(name) << locale << text << expected << error;
        };
        const auto mismatch = JetConvert::Error::TypeMismatch;
        const QString en = u"en_US"_s;
        const QString de = u"de_DE"_s;
        row("en spaces around", en, u"  12.5 "_s, 12.5);
        row("en grouped", en, u"1,234,567.25"_s, 1234567.25);
        row("en leading point", en, u".5"_s, 0.5);
        row("en comma is no decimal", en, u"12,5"_s, 0.0, mismatch);
        row("en empty", en, QString(), 0.0, mismatch);
        row("en trailing junk", en, u"12.5x"_s, 0.0, mismatch);
        row("en too large", en, u"1e999"_s, 0.0, JetConvert::Error::Overflow);
        row("de grouped", de, u"1.234,5"_s, 1234.5);
        row("de thousands group wins", de, u"1.234"_s, 1234.0);
        row("de point form falls back", de, u"12.5"_s, 12.5);
        row("fr narrow space group", u"fr_FR"_s, u"1\u202f234,5"_s, 1234.5);
        row("fr plain space, long first group", u"fr_FR"_s, u"1234 567,5"_s, 1234567.5);
        row("lakh groups", u"en_IN"_s, u"12,34,567.5"_s, 1234567.5);
        row("en exponent without digits", en, u"2.5E"_s, 0.0, mismatch);
    }

    // What NumberText writes under a locale reads back as the same number under it: native
    // digits, minus signs and exponents included (a tiny allowance written back as "1×10^-49"
    // failed the next start-up), and never "inf" for a finite number.
    void numberTextReadsBackUnderEveryLocale()
    {
        // (value, NumberText's function, the value read back)
        const QList<std::tuple<double, QString (*)(double), double>> cases = {{-2.5e-49, NumberText::plain, -2.5e-49},
            {1e20, NumberText::plain, 1e20}, {-1234567.25, NumberText::plain, -1234567.25},
            {0.0001, NumberText::plain, 0.0001}, {5120000, NumberText::plain, 5120000},
            {12.34567, NumberText::fourDecimals, 12.3457}, {1e305, NumberText::fourDecimals, 1e305}};
        for (const QLocale &locale :
            QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            QLocale::setDefault(locale);
            const JetConvert convert {JetLocale(locale)};
            for (const auto &[value, write, expected] : cases) {
                const QString text = write(value);
                QVERIFY2(convert.toDouble(text) == expected, qPrintable(locale.name() + u": "_s + text));
            }
        }
    }

    void toDouble()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(JetConvert::Error, error);
        JetConvert::Error why = JetConvert::Error::None;
        const std::optional<double> value = JetConvert {JetLocale(QLocale(locale))}.toDouble(text, &why);
        QCOMPARE(why, error);
        QCOMPARE(value.has_value(), error == JetConvert::Error::None);
        if (value)
            QTEST(*value, "expected");
    }

    void toDateTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: a type mismatch

        const auto row = [](const char *name, const char *locale, const QString &text, const QDateTime &expected) {
            QTest::newRow(name) << QString::fromLatin1(locale) << text << expected;
        };
        const auto day = [](int y, int m, int d, QTime time = QTime(0, 0)) { return QDateTime(QDate(y, m, d), time); };
        const QDateTime dec5 = day(2026, 12, 5);
        const QDateTime dec5Time = day(2026, 12, 5, QTime(17, 29, 47));
        row("de reads slashes day first", "de_DE", u"12/05/2026"_s, day(2026, 5, 12));
        row("C reads day first", "C", u"05/12/2026"_s, dec5);
        row("year first under any locale", "de_DE", u"2026/12/05 17:29:47"_s, dec5Time);
        row("fi dots in time", "fi_FI", u"2026.12.05 17.29.47"_s, dec5Time);
        row("hu trailing dot", "hu_HU", u"2026. 12. 05."_s, dec5);
        row("en month name", "en_US", u"05 Dec 2026"_s, dec5);
        row("en two-digit year 29", "en_US", u"12/05/29"_s, day(2029, 12, 5));
        row("en two-digit year 30", "en_US", u"12/05/30"_s, day(1930, 12, 5));
        row("en PM", "en_US", u"12/5/2026 5:29:47 PM"_s, dec5Time);
        row("en midnight AM", "en_US", u"12/5/2026 12:00 AM"_s, dec5);
        row("en noon PM", "en_US", u"12/5/2026 12:00 pm"_s, day(2026, 12, 5, QTime(12, 0)));
        row("en AM after a date alone", "en_US", u"12/5/2026 AM"_s, QDateTime());
        row("time alone", "en_US", u"17:29:47"_s, day(1899, 12, 30, QTime(17, 29, 47)));
        row("leap day", "de_DE", u"29.02.2024"_s, day(2024, 2, 29));
        row("no leap day", "de_DE", u"29.02.2025"_s, QDateTime());
        row("month 13", "en_US", u"13/05/2026"_s, QDateTime());
        row("hour 24", "en_US", u"2026-12-05 24:00:00"_s, QDateTime());
        row("two numbers", "en_US", u"12/05"_s, QDateTime());
        row("colon date", "en_US", u"2026:12:05"_s, QDateTime());
        // A #...# literal: month first whatever the user's locale, unless the year comes first.
        row("literal month first", "#", u"12-01-2026 00.00.00"_s, day(2026, 12, 1));
        row("literal slashes", "#", u"3/31/2025"_s, day(2025, 3, 31));
        row("literal year first", "#", u"2026-12-01 17:29:47"_s, day(2026, 12, 1, QTime(17, 29, 47)));
    }

    void toDateTime()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        if (locale == u"#"_s) {
            QLocale::setDefault(QLocale(u"de_DE"_s));
            const std::optional<StoredDate::Fields> fields = JetConvert::dateLiteralFields(text);
            QCOMPARE(fields ? fields->toDateTime() : QDateTime(), expected);
            return;
        }
        JetConvert::Error why = JetConvert::Error::None;
        const std::optional<QDateTime> value = JetConvert {JetLocale(QLocale(locale))}.toDateTime(text, &why);
        QCOMPARE(value.value_or(QDateTime()), expected);
        QCOMPARE(why, value ? JetConvert::Error::None : JetConvert::Error::TypeMismatch);
    }
};

QTEST_GUILESS_MAIN(TestJetConvert)
#include "tst_jetconvert.moc"
