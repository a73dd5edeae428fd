#include "core/store/JetSql.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The translation of the program's SQL dialect into SQLite's, as text. What the translated
// statements compute is checked against a real database in tst_store.
class TestJetSql : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translates_data();
    void translates();
    void rejects_data();
    void rejects();
};

namespace {

QList<JetSql::Column> fakeColumns(const QString &table)
{
    if (table.compare(u"log"_s, Qt::CaseInsensitive) == 0) {
        return {{u"DateAndTimeStart"_s, u"DATETIME"_s}, {u"DateAndTimeEnd"_s, u"DATETIME"_s},
            {u"BytesSent"_s, u"INTEGER"_s}, {u"BytesRcvd"_s, u"INTEGER"_s}, {u"AvgDownloadSpeed"_s, u"DOUBLE"_s}};
    }
    if (table.compare(u"settings"_s, Qt::CaseInsensitive) == 0)
        return {{u"Settingname"_s, u"TEXT"_s}, {u"Settingvalue"_s, u"TEXT"_s}};
    return {};
}

} // namespace

void TestJetSql::translates_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("sqlite");

    QTest::newRow("plain select") << u"select * from settings;"_s << u"select * from settings;"_s;
    QTest::newRow("double quotes become a literal")
        << u"select Format(x,\"dd/mm\") from t"_s << u"select Format(x,'dd/mm') from t"_s;
    QTest::newRow("apostrophe inside double quotes") << u"select \"it's \"\"x\"\"\""_s << u"select 'it''s \"x\"'"_s;
    QTest::newRow("doubled apostrophe kept") << u"select * from settings where settingname='it''s/x'"_s
                                             << u"select * from settings where settingname='it''s/x'"_s;
    QTest::newRow("brackets kept") << u"select [a b] from [t]"_s << u"select [a b] from [t]"_s;
    QTest::newRow("date literal, US order")
        << u"select dateadd('m',-1,#12-01-2026 00:00:00#)"_s << u"select dateadd('m',-1,'2026-12-01 00:00:00')"_s;
    QTest::newRow("date literal as the program writes it")
        << u"select #12/05/2026 07:08:09#"_s << u"select '2026-12-05 07:08:09'"_s;
    QTest::newRow("date literal, dotted time")
        << u"select #03-31-2025 17.05.09#"_s << u"select '2025-03-31 17:05:09'"_s;
    QTest::newRow("top after order by") << u"select top 12 * from DownloadPerWeek order by ddate desc"_s
                                        << u"select * from DownloadPerWeek order by ddate desc limit 12"_s;
    QTest::newRow("top with semicolon") << u"SELECT TOP 3 a FROM t ORDER BY a;"_s
                                        << u"SELECT a FROM t ORDER BY a limit 3;"_s;
    QTest::newRow("top in a subquery") << u"select * from (select top 2 a from t order by a) order by a desc"_s
                                       << u"select * from (select a from t order by a limit 2) order by a desc"_s;
    QTest::newRow("delete star") << u"Delete * from log;"_s << u"Delete from log;"_s;
    QTest::newRow("multiply stays") << u"select 2*3 as x"_s << u"select 2*3 as x"_s;
    QTest::newRow("division") << u"select a/b/c"_s << u"select a*1.0/b*1.0/c"_s;
    QTest::newRow("division in sum") << u"Sum([BytesRcvd]/1024)"_s << u"Sum([BytesRcvd]*1.0/1024)"_s;
    QTest::newRow("division of a sum")
        << u"select sum(bytessent+bytesrcvd)/(1024*1024.0) as loggedVolume from log"_s
        << u"select sum(bytessent+bytesrcvd)*1.0/(1024*1024.0) as loggedVolume from log"_s;
    QTest::newRow("slash in a string stays") << u"select 'a/b'"_s << u"select 'a/b'"_s;
    QTest::newRow("insert positional")
        << u"INSERT INTO Log values('2026.12.05 17:29:47','2026.12.05 17:30:00',10,20,'12,5');"_s
        << u"INSERT INTO Log values(jet_date('2026.12.05 17:29:47'),jet_date('2026.12.05 17:30:00'),"
           u"jet_integer(10),jet_integer(20),jet_number('12,5'));"_s;
    QTest::newRow("insert by column name")
        << u"INSERT INTO Log(AvgDownloadSpeed,dateandtimestart) values('0', #12-05-2026#)"_s
        << u"INSERT INTO Log(AvgDownloadSpeed,dateandtimestart) values(jet_number('0'), "
           u"jet_date('2026-12-05 00:00:00'))"_s;
    QTest::newRow("insert expression with commas")
        << u"INSERT INTO Log values(dateadd('d', 1, 'x'),'y',1+2,(3),4)"_s
        << u"INSERT INTO Log values(jet_date(dateadd('d', 1, 'x')),jet_date('y'),jet_integer(1+2),jet_integer((3)),"
           u"jet_number(4))"_s;
    QTest::newRow("insert into text columns") << u"INSERT INTO settings(Settingname,Settingvalue) values('k','v');"_s
                                              << u"INSERT INTO settings(Settingname,Settingvalue) values('k','v');"_s;
    QTest::newRow("insert into unknown table")
        << u"insert into nowhere values(1)"_s << u"insert into nowhere values(1)"_s;
}

void TestJetSql::translates()
{
    QFETCH(QString, jet);
    JetSql translator(fakeColumns);
    const std::optional<QString> sql = translator.translate(jet);
    QVERIFY2(sql, qPrintable(translator.errorString()));
    QTEST(*sql, "sqlite");
}

void TestJetSql::rejects_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("message");

    QTest::newRow("open string") << u"select 'abc"_s << u"Syntax error in string"_s;
    QTest::newRow("open double-quoted string") << u"select \"abc"_s << u"Syntax error in string"_s;
    QTest::newRow("open date literal") << u"select #12-01-2026"_s << u"Syntax error in date"_s;
    QTest::newRow("day 32") << u"select #12-32-2026#"_s << u"Syntax error in date"_s;
    QTest::newRow("top percent") << u"select top 5 percent * from t"_s << u"PERCENT"_s;
    QTest::newRow("top without a number") << u"select top x from t"_s << u"TOP"_s;
}

void TestJetSql::rejects()
{
    QFETCH(QString, jet);
    QFETCH(QString, message);
    JetSql translator(fakeColumns);
    QVERIFY(!translator.translate(jet));
    QVERIFY2(translator.errorString().contains(message), qPrintable(translator.errorString()));
}

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
