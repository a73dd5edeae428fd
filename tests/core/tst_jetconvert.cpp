#include "core/JetConvert.h"
#include "core/JetLocale.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Reading numbers and dates the way the program's SQL dialect does, under pinned locales.
class TestJetConvert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void localeSnapshot_data();
    void localeSnapshot();
    void toDouble_data();
    void toDouble();
    void toIntegers_data();
    void toIntegers();
    void roundHalfEven_data();
    void roundHalfEven();
    void toDateTime_data();
    void toDateTime();
    void dateLiteral_data();
    void dateLiteral();
};

void TestJetConvert::localeSnapshot_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("dateSeparator");
    QTest::addColumn<QString>("timeSeparator");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<QString>("groupSeparator");
    QTest::addColumn<int>("order");

    using O = JetLocale::DateOrder;
    QTest::newRow("en_US") << u"en_US"_s << u"/"_s << u":"_s << u"."_s << u","_s << int(O::MonthDayYear);
    QTest::newRow("de_DE") << u"de_DE"_s << u"."_s << u":"_s << u","_s << u"."_s << int(O::DayMonthYear);
    QTest::newRow("fr_FR") << u"fr_FR"_s << u"/"_s << u":"_s << u","_s << u"\u202f"_s << int(O::DayMonthYear);
    QTest::newRow("sv_SE") << u"sv_SE"_s << u"-"_s << u":"_s << u","_s << u"\u00a0"_s << int(O::YearMonthDay);
    QTest::newRow("fi_FI time with dot") << u"fi_FI"_s << u"."_s << u"."_s << u","_s << u"\u00a0"_s
                                         << int(O::DayMonthYear);
    QTest::newRow("hu_HU dot and space") << u"hu_HU"_s << u". "_s << u":"_s << u","_s << u"\u00a0"_s
                                         << int(O::YearMonthDay);
    QTest::newRow("C: month name, so /") << u"C"_s << u"/"_s << u":"_s << u"."_s << u","_s << int(O::DayMonthYear);
}

void TestJetConvert::localeSnapshot()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    const JetLocale snapshot = JetLocale::current();
    QTEST(snapshot.dateSeparator(), "dateSeparator");
    QTEST(snapshot.timeSeparator(), "timeSeparator");
    QTEST(snapshot.decimalPoint(), "decimalPoint");
    QTEST(snapshot.groupSeparator(), "groupSeparator");
    QTEST(int(snapshot.dateOrder()), "order");
}

void TestJetConvert::toDouble_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("error"); // JetConvert::Error; None means expected holds

    const int ok = int(JetConvert::Error::None);
    const int mismatch = int(JetConvert::Error::TypeMismatch);
    const int overflow = int(JetConvert::Error::Overflow);
    QTest::newRow("en point") << u"en_US"_s << u"12.5"_s << 12.5 << ok;
    QTest::newRow("en spaces around") << u"en_US"_s << u"  12.5 "_s << 12.5 << ok;
    QTest::newRow("en grouped") << u"en_US"_s << u"1,234,567.25"_s << 1234567.25 << ok;
    QTest::newRow("en negative") << u"en_US"_s << u"-0.25"_s << -0.25 << ok;
    QTest::newRow("en exponent") << u"en_US"_s << u"2.5E3"_s << 2500.0 << ok;
    QTest::newRow("en leading point") << u"en_US"_s << u".5"_s << 0.5 << ok;
    QTest::newRow("en comma is no decimal") << u"en_US"_s << u"12,5"_s << 0.0 << mismatch;
    QTest::newRow("en empty") << u"en_US"_s << QString() << 0.0 << mismatch;
    QTest::newRow("en blank") << u"en_US"_s << u"   "_s << 0.0 << mismatch;
    QTest::newRow("en word") << u"en_US"_s << u"abc"_s << 0.0 << mismatch;
    QTest::newRow("en trailing junk") << u"en_US"_s << u"12.5x"_s << 0.0 << mismatch;
    QTest::newRow("en two points") << u"en_US"_s << u"1.2.3"_s << 0.0 << mismatch;
    QTest::newRow("en too large") << u"en_US"_s << u"1e999"_s << 0.0 << overflow;
    QTest::newRow("de comma") << u"de_DE"_s << u"12,5"_s << 12.5 << ok;
    QTest::newRow("de grouped") << u"de_DE"_s << u"1.234,5"_s << 1234.5 << ok;
    QTest::newRow("de thousands group wins") << u"de_DE"_s << u"1.234"_s << 1234.0 << ok;
    QTest::newRow("de point form falls back") << u"de_DE"_s << u"12.5"_s << 12.5 << ok;
    QTest::newRow("de zero") << u"de_DE"_s << u"0"_s << 0.0 << ok;
    QTest::newRow("fr narrow space group") << u"fr_FR"_s << u"1\u202f234,5"_s << 1234.5 << ok;
    QTest::newRow("fr plain space group") << u"fr_FR"_s << u"1 234,5"_s << 1234.5 << ok;
    QTest::newRow("fr long first group") << u"fr_FR"_s << u"1234 567,5"_s << 1234567.5 << ok;
    QTest::newRow("lakh groups") << u"en_IN"_s << u"12,34,567.5"_s << 1234567.5 << ok;
    QTest::newRow("de short last group") << u"de_DE"_s << u"1.234.56"_s << 0.0 << mismatch;
    QTest::newRow("ar native digits") << u"ar_EG"_s << u"\u0661\u0662\u066b\u0665"_s << 12.5 << ok;
    QTest::newRow("sv minus sign") << u"sv_SE"_s << u"\u221212,5"_s << -12.5 << ok;
}

void TestJetConvert::toDouble()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(int, error);
    const JetConvert convert {JetLocale(QLocale(locale))};
    JetConvert::Error why = JetConvert::Error::None;
    const std::optional<double> value = convert.toDouble(text, &why);
    QCOMPARE(int(why), error);
    QCOMPARE(value.has_value(), error == int(JetConvert::Error::None));
    if (value)
        QCOMPARE(*value, expected);
}

void TestJetConvert::toIntegers_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("int16"); // null: fails
    QTest::addColumn<QVariant>("int32");

    const QVariant fails;
    QTest::newRow("half to even down") << u"en_US"_s << u"2.5"_s << QVariant(2) << QVariant(2);
    QTest::newRow("half to even up") << u"en_US"_s << u"3.5"_s << QVariant(4) << QVariant(4);
    QTest::newRow("negative half") << u"en_US"_s << u"-2.5"_s << QVariant(-2) << QVariant(-2);
    QTest::newRow("below half") << u"en_US"_s << u"2.49"_s << QVariant(2) << QVariant(2);
    QTest::newRow("de comma half") << u"de_DE"_s << u"2,5"_s << QVariant(2) << QVariant(2);
    QTest::newRow("int16 top") << u"en_US"_s << u"32767"_s << QVariant(32767) << QVariant(32767);
    QTest::newRow("int16 top rounds over") << u"en_US"_s << u"32767.5"_s << fails << QVariant(32768);
    QTest::newRow("int16 bottom half stays") << u"en_US"_s << u"-32768.5"_s << QVariant(-32768) << QVariant(-32768);
    QTest::newRow("int32 top") << u"en_US"_s << u"2147483647"_s << fails << QVariant(2147483647);
    QTest::newRow("int32 over") << u"en_US"_s << u"2147483648"_s << fails << fails;
    QTest::newRow("int32 bottom") << u"en_US"_s << u"-2147483648"_s << fails << QVariant(-2147483647 - 1);
    QTest::newRow("grouped") << u"en_US"_s << u"1,234,567.5"_s << fails << QVariant(1234568);
    QTest::newRow("word") << u"en_US"_s << u"twelve"_s << fails << fails;
}

void TestJetConvert::toIntegers()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QVariant, int16);
    QFETCH(QVariant, int32);
    const JetConvert convert {JetLocale(QLocale(locale))};
    JetConvert::Error why = JetConvert::Error::None;
    const std::optional<qint16> small = convert.toInt16(text, &why);
    QCOMPARE(small.has_value(), !int16.isNull());
    if (small)
        QCOMPARE(int(*small), int16.toInt());
    else if (text.at(0).isDigit())
        QCOMPARE(why, JetConvert::Error::Overflow);
    const std::optional<qint32> large = convert.toInt32(text, &why);
    QCOMPARE(large.has_value(), !int32.isNull());
    if (large)
        QCOMPARE(*large, int32.toInt());
    else
        QCOMPARE(why, text.at(0).isDigit() ? JetConvert::Error::Overflow : JetConvert::Error::TypeMismatch);
}

void TestJetConvert::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("-1.5") << -1.5 << -2.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("2.5000001") << 2.5000001 << 3.0;
    QTest::newRow("-2.4999999") << -2.4999999 << -2.0;
    QTest::newRow("whole") << 7.0 << 7.0;
}

void TestJetConvert::roundHalfEven()
{
    QFETCH(double, value);
    QTEST(JetConvert::roundHalfEven(value), "expected");
}

void TestJetConvert::toDateTime_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: a type mismatch

    const QDateTime dec5(QDate(2026, 12, 5), QTime(0, 0));
    const QDateTime dec5Time(QDate(2026, 12, 5), QTime(17, 29, 47));
    const QDateTime none;
    QTest::newRow("en month first") << u"en_US"_s << u"12/05/2026"_s << dec5;
    QTest::newRow("de day first") << u"de_DE"_s << u"05.12.2026"_s << dec5;
    QTest::newRow("de reads slashes day first")
        << u"de_DE"_s << u"12/05/2026"_s << QDateTime(QDate(2026, 5, 12), QTime(0, 0));
    QTest::newRow("year first under any locale") << u"de_DE"_s << u"2026/12/05 17:29:47"_s << dec5Time;
    QTest::newRow("en stored form") << u"en_US"_s << u"2026-12-05 17:29:47"_s << dec5Time;
    QTest::newRow("de dotted with time") << u"de_DE"_s << u"2026.12.05 17:29:47"_s << dec5Time;
    QTest::newRow("fi dots in time") << u"fi_FI"_s << u"2026.12.05 17.29.47"_s << dec5Time;
    QTest::newRow("hu dot space") << u"hu_HU"_s << u"2026. 12. 05 17:29:47"_s << dec5Time;
    QTest::newRow("hu trailing dot") << u"hu_HU"_s << u"2026. 12. 05."_s << dec5;
    QTest::newRow("sv dashes") << u"sv_SE"_s << u"2026-12-05"_s << dec5;
    QTest::newRow("en month name") << u"en_US"_s << u"05 Dec 2026"_s << dec5;
    QTest::newRow("de month name") << u"de_DE"_s << u"05 Dez 2026"_s << dec5;
    QTest::newRow("en two-digit year 26") << u"en_US"_s << u"12/05/26"_s << dec5;
    QTest::newRow("en two-digit year 30") << u"en_US"_s << u"12/05/30"_s << QDateTime(QDate(1930, 12, 5), QTime(0, 0));
    QTest::newRow("en minutes only") << u"en_US"_s << u"12/5/2026 17:29"_s
                                     << QDateTime(QDate(2026, 12, 5), QTime(17, 29));
    QTest::newRow("en PM") << u"en_US"_s << u"12/5/2026 5:29:47 PM"_s << dec5Time;
    QTest::newRow("en midnight AM") << u"en_US"_s << u"12/5/2026 12:00 AM"_s << dec5;
    QTest::newRow("time alone") << u"en_US"_s << u"17:29:47"_s << QDateTime(QDate(1899, 12, 30), QTime(17, 29, 47));
    QTest::newRow("leap day") << u"de_DE"_s << u"29.02.2024"_s << QDateTime(QDate(2024, 2, 29), QTime(0, 0));
    QTest::newRow("no leap day") << u"de_DE"_s << u"29.02.2025"_s << none;
    QTest::newRow("31 February") << u"de_DE"_s << u"31.02.2026"_s << none;
    QTest::newRow("month 13") << u"en_US"_s << u"13/05/2026"_s << none;
    QTest::newRow("hour 24") << u"en_US"_s << u"2026-12-05 24:00:00"_s << none;
    QTest::newRow("two numbers") << u"en_US"_s << u"12/05"_s << none;
    QTest::newRow("letters") << u"en_US"_s << u"yesterday"_s << none;
    QTest::newRow("empty") << u"en_US"_s << QString() << none;
    QTest::newRow("colon date") << u"en_US"_s << u"2026:12:05"_s << none;
}

void TestJetConvert::toDateTime()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const JetConvert convert {JetLocale(QLocale(locale))};
    JetConvert::Error why = JetConvert::Error::None;
    const std::optional<QDateTime> value = convert.toDateTime(text, &why);
    QCOMPARE(value.has_value(), expected.isValid());
    if (value)
        QCOMPARE(*value, expected);
    else
        QCOMPARE(why, JetConvert::Error::TypeMismatch);
}

void TestJetConvert::dateLiteral_data()
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

void TestJetConvert::dateLiteral()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    // The literal ignores the locale.
    QLocale::setDefault(QLocale(u"de_DE"_s));
    const std::optional<StoredDate::Fields> fields = JetConvert::dateLiteralFields(text);
    QCOMPARE(fields.has_value(), !expected.isEmpty());
    if (fields)
        QCOMPARE(StoredDate::format(fields->toDateTime()), expected);
}

QTEST_GUILESS_MAIN(TestJetConvert)
#include "tst_jetconvert.moc"
