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
    void localeSnapshot_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("separators"); // date, time, decimal point, group
        QTest::addColumn<int>("order");

        using O = JetLocale::DateOrder;
        const auto row = [](const char *locale, const QStringList &separators, O order) {
            QTest::newRow(locale) << QString::fromLatin1(locale) << separators << int(order);
        };
        row("en_US", {u"/"_s, u":"_s, u"."_s, u","_s}, O::MonthDayYear);
        row("de_DE", {u"."_s, u":"_s, u","_s, u"."_s}, O::DayMonthYear);
        row("fr_FR", {u"/"_s, u":"_s, u","_s, u"\u202f"_s}, O::DayMonthYear);
        row("sv_SE", {u"-"_s, u":"_s, u","_s, u"\u00a0"_s}, O::YearMonthDay);
        row("fi_FI", {u"."_s, u"."_s, u","_s, u"\u00a0"_s}, O::DayMonthYear);
        row("hu_HU", {u". "_s, u":"_s, u","_s, u"\u00a0"_s}, O::YearMonthDay);
        row("C", {u"/"_s, u":"_s, u"."_s, u","_s}, O::DayMonthYear); // month name in the pattern, so "/"
    }

    void localeSnapshot()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const JetLocale snapshot = JetLocale::current();
        QTEST(QStringList({snapshot.dateSeparator(), snapshot.timeSeparator(), snapshot.decimalPoint(),
                  snapshot.groupSeparator()}),
            "separators");
        QTEST(int(snapshot.dateOrder()), "order");
    }

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
        row("en negative", en, u"-0.25"_s, -0.25);
        row("en exponent", en, u"2.5E3"_s, 2500.0);
        row("en leading point", en, u".5"_s, 0.5);
        row("en comma is no decimal", en, u"12,5"_s, 0.0, mismatch);
        row("en empty", en, QString(), 0.0, mismatch);
        row("en blank", en, u"   "_s, 0.0, mismatch);
        row("en trailing junk", en, u"12.5x"_s, 0.0, mismatch);
        row("en two points", en, u"1.2.3"_s, 0.0, mismatch);
        row("en too large", en, u"1e999"_s, 0.0, JetConvert::Error::Overflow);
        row("de comma", de, u"12,5"_s, 12.5);
        row("de grouped", de, u"1.234,5"_s, 1234.5);
        row("de thousands group wins", de, u"1.234"_s, 1234.0);
        row("de point form falls back", de, u"12.5"_s, 12.5);
        row("de short last group", de, u"1.234.56"_s, 0.0, mismatch);
        row("fr narrow space group", u"fr_FR"_s, u"1\u202f234,5"_s, 1234.5);
        row("fr plain space, long first group", u"fr_FR"_s, u"1234 567,5"_s, 1234567.5);
        row("lakh groups", u"en_IN"_s, u"12,34,567.5"_s, 1234567.5);
        row("ar native digits", u"ar_EG"_s, u"\u0661\u0662\u066b\u0665"_s, 12.5);
        row("sv minus sign", u"sv_SE"_s, u"\u221212,5"_s, -12.5);
        // Exponents as QLocale writes them: its exponential symbol and signs.
        row("fa exponent", u"fa_IR"_s, u"\u200e\u2212\u06f2\u066b\u06f5\u00d7\u06f1\u06f0^\u200e\u2212\u06f4\u06f9"_s,
            -2.5e-49);
        row("et exponent", u"et_EE"_s, u"\u22122,5\u00d710^\u221249"_s, -2.5e-49);
        row("ar exponent", u"ar_EG"_s, u"\u0661\u0627\u0633\u061c+\u0662\u0660"_s, 1e20);
        row("uk Cyrillic E", u"uk_UA"_s, u"1\u0415+20"_s, 1e20);
        row("se raised dot", u"se_NO"_s, u"1\u00b710^+20"_s, 1e20);
        row("en exponent without digits", en, u"2.5E"_s, 0.0, mismatch);
    }

    // What NumberText writes under a locale reads back as the same number under it, exponents
    // included (a tiny allowance written back as "1×10^-49" failed the next start-up), and never
    // "inf" for a finite number.
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

    void toIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("int16"); // null: fails
        QTest::addColumn<QVariant>("int32");

        const QVariant fails;
        QTest::newRow("half to even down") << u"2.5"_s << QVariant(2) << QVariant(2);
        QTest::newRow("half to even up") << u"3.5"_s << QVariant(4) << QVariant(4);
        QTest::newRow("negative half") << u"-2.5"_s << QVariant(-2) << QVariant(-2);
        QTest::newRow("negative half away") << u"-1.5"_s << QVariant(-2) << QVariant(-2);
        QTest::newRow("zero and a half") << u"0.5"_s << QVariant(0) << QVariant(0);
        QTest::newRow("just over a half") << u"2.5000001"_s << QVariant(3) << QVariant(3);
        QTest::newRow("just under a negative half") << u"-2.4999999"_s << QVariant(-2) << QVariant(-2);
        QTest::newRow("int16 top rounds over") << u"32767.5"_s << fails << QVariant(32768);
        QTest::newRow("int16 bottom half stays") << u"-32768.5"_s << QVariant(-32768) << QVariant(-32768);
        QTest::newRow("int32 top") << u"2147483647"_s << fails << QVariant(2147483647);
        QTest::newRow("int32 over") << u"2147483648"_s << fails << fails;
        QTest::newRow("int32 bottom") << u"-2147483648"_s << fails << QVariant(-2147483647 - 1);
        QTest::newRow("grouped") << u"1,234,567.5"_s << fails << QVariant(1234568);
        QTest::newRow("word") << u"twelve"_s << fails << fails;
    }

    void toIntegers()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, int16);
        QFETCH(QVariant, int32);
        const JetConvert convert {JetLocale(QLocale(u"en_US"_s))};
        const JetConvert::Error failure
            = text.at(0).isLetter() ? JetConvert::Error::TypeMismatch : JetConvert::Error::Overflow;
        JetConvert::Error why = JetConvert::Error::None;
        const std::optional<qint16> small = convert.toInt16(text, &why);
        QCOMPARE(small ? QVariant(int(*small)) : QVariant(), int16);
        if (!small)
            QCOMPARE(why, failure);
        const std::optional<qint32> large = convert.toInt32(text, &why);
        QCOMPARE(large ? QVariant(*large) : QVariant(), int32);
        if (!large)
            QCOMPARE(why, failure);
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
        row("en month first", "en_US", u"12/05/2026"_s, dec5);
        row("de day first", "de_DE", u"05.12.2026"_s, dec5);
        row("de reads slashes day first", "de_DE", u"12/05/2026"_s, day(2026, 5, 12));
        row("year first under any locale", "de_DE", u"2026/12/05 17:29:47"_s, dec5Time);
        row("en stored form", "en_US", u"2026-12-05 17:29:47"_s, dec5Time);
        row("de dotted with time", "de_DE", u"2026.12.05 17:29:47"_s, dec5Time);
        row("fi dots in time", "fi_FI", u"2026.12.05 17.29.47"_s, dec5Time);
        row("hu dot space", "hu_HU", u"2026. 12. 05 17:29:47"_s, dec5Time);
        row("hu trailing dot", "hu_HU", u"2026. 12. 05."_s, dec5);
        row("en month name", "en_US", u"05 Dec 2026"_s, dec5);
        row("de month name", "de_DE", u"05 Dez 2026"_s, dec5);
        row("en two-digit year 26", "en_US", u"12/05/26"_s, dec5);
        row("en two-digit year 30", "en_US", u"12/05/30"_s, day(1930, 12, 5));
        row("en minutes only", "en_US", u"12/5/2026 17:29"_s, day(2026, 12, 5, QTime(17, 29)));
        row("en PM", "en_US", u"12/5/2026 5:29:47 PM"_s, dec5Time);
        row("en midnight AM", "en_US", u"12/5/2026 12:00 AM"_s, dec5);
        row("time alone", "en_US", u"17:29:47"_s, day(1899, 12, 30, QTime(17, 29, 47)));
        row("leap day", "de_DE", u"29.02.2024"_s, day(2024, 2, 29));
        row("no leap day", "de_DE", u"29.02.2025"_s, QDateTime());
        row("month 13", "en_US", u"13/05/2026"_s, QDateTime());
        row("hour 24", "en_US", u"2026-12-05 24:00:00"_s, QDateTime());
        row("two numbers", "en_US", u"12/05"_s, QDateTime());
        row("letters", "en_US", u"yesterday"_s, QDateTime());
        row("colon date", "en_US", u"2026:12:05"_s, QDateTime());
    }

    void toDateTime()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        JetConvert::Error why = JetConvert::Error::None;
        const std::optional<QDateTime> value = JetConvert {JetLocale(QLocale(locale))}.toDateTime(text, &why);
        QCOMPARE(value.value_or(QDateTime()), expected);
        QCOMPARE(why, value ? JetConvert::Error::None : JetConvert::Error::TypeMismatch);
    }

    void dateLiteral_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // stored form; empty: not a date

        QTest::newRow("month first") << u"12-01-2026 00:00:00"_s << u"2026-12-01 00:00:00"_s;
        QTest::newRow("dots in time") << u"12-01-2026 00.00.00"_s << u"2026-12-01 00:00:00"_s;
        QTest::newRow("slashes, no time") << u"3/31/2025"_s << u"2025-03-31 00:00:00"_s;
        QTest::newRow("year first") << u"2026-12-01 17:29:47"_s << u"2026-12-01 17:29:47"_s;
        QTest::newRow("day first is wrong") << u"31-12-2026"_s << QString();
        QTest::newRow("no 29 February 2025") << u"02-29-2025"_s << QString();
    }

    void dateLiteral()
    {
        QFETCH(QString, text);
        // The literal ignores the locale.
        QLocale::setDefault(QLocale(u"de_DE"_s));
        const std::optional<StoredDate::Fields> fields = JetConvert::dateLiteralFields(text);
        QTEST(fields ? StoredDate::format(fields->toDateTime()) : QString(), "expected");
    }
};

QTEST_GUILESS_MAIN(TestJetConvert)
#include "tst_jetconvert.moc"
