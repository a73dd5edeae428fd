// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodViewCheck.h"
#include "StartupRun.h"
#include "TestDatabase.h"

#include "core/store/SchemaUpgrade.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString ViewSql = u"select sql from sqlite_master where type = 'view' and name = 'DownloadPerDay'"_s;
const QString ViewDate = u"select DateModified from ViewCatalog where ViewName = 'DownloadPerDay'"_s;

const QString OldSelect
    = QStringLiteral("select cast(strftime('%Y%m%d', DateAndTimeEnd) as integer) as DDate, sum(BytesRcvd) as KBDown, "
                     "sum(BytesSent) as KBUp, avg(AvgDownloadSpeed) as AVGDown, date(DateAndTimeEnd) as Gdate from Log "
                     "group by 1 order by 1 desc");

bool upgrade(const TestDatabase &db, const FakeClock &clock)
{
    DebugLog log(false, QString(), clock);
    StoreSession session(db.path());
    return session.open() && SchemaUpgrade(session, clock, log).run();
}

const QStringList PeriodViews
    = {u"DownloadPerDay"_s, u"DownloadPerWeek"_s, u"DownloadPerMonth"_s, u"DownloadPerYear"_s};

// A database as made before the log was totalled per day: views that total the log themselves,
// dated when they were shipped, and a log of three years with markers and NULL counts.
void makeOlderDatabase(const TestDatabase &db)
{
    for (const char *drop : {"drop trigger LogPerDayInsert", "drop trigger LogPerDayDelete",
             "drop trigger LogPerDayUpdate", "drop table LogPerDay"})
        db.exec(QString::fromLatin1(drop));
    for (const auto &[name, select] : PeriodViewCheck::perRowViews()) {
        db.exec(u"drop view "_s + name);
        db.exec(u"create view %1 as "_s.arg(name) + select);
    }
    db.exec(u"create index LogByDay on Log (substr(DateAndTimeStart, 1, 10))"_s);
    db.exec(u"update ViewCatalog set DateModified = '2026-12-06 00:00:00'"_s);
    db.exec(QStringLiteral(
        "with recursive r(i) as (select 0 union all select i + 1 from r where i < 2999) "
        "insert into Log select datetime('2024-01-01', '+' || (i * 31337 % 94608000) || ' seconds'), "
        "datetime('2024-01-01', '+' || (i * 31337 % 94608000 + 600) || ' seconds'), "
        "case when i % 41 = 0 then null else i * 7919 % 2000000011 end, i * 104729 % 1000000007, "
        "case when i % 37 = 0 then null when i % 19 = 0 then 0 else i * 7907 % 10000000 / 10000.0 end from r"));
}

// Every table, index, view and trigger with its definition, spacing and case aside ("as" or
// "AS"; the names SQLite and the view's patterns read in either case).
QStringList definitions(const TestDatabase &db)
{
    QStringList lines = db.rows(u"select type, name, sql from sqlite_master order by name"_s);
    for (QString &line : lines)
        line = line.simplified().toLower();
    return lines;
}

QStringList schemaOf(const TestDatabase &db)
{
    return db.rows(u"select type, name, sql from sqlite_master order by name"_s)
        + db.rows(u"select * from ViewCatalog order by ViewName"_s);
}

} // namespace

class TestSchemaUpgrade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dayViewOf2001IsReplacedOnce_data()
    {
        QTest::addColumn<QString>("planted"); // the date of an older view put in
        QTest::newRow("older view of another year") << u"2019-03-01 08:00:00"_s;
        QTest::newRow("view of 2001") << u"2001-06-14 10:00:00"_s;
    }

    // Only a day view dated 2001 is replaced, dated now, by one that counts a row on the day it
    // starts, in kilobytes; the next start leaves it as it is.
    void dayViewOf2001IsReplacedOnce()
    {
        QFETCH(QString, planted);
        TestDatabase db;
        db.exec(u"drop view DownloadPerDay"_s);
        db.exec(u"create view DownloadPerDay as "_s + OldSelect);
        db.exec(u"update ViewCatalog set DateModified = '%1' where ViewName = 'DownloadPerDay'"_s.arg(planted));
        const QStringList before = db.rows(ViewSql) + db.rows(ViewDate);
        FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(17, 29, 47)));
        QVERIFY(upgrade(db, clock));
        const QStringList upgraded = db.rows(ViewSql) + db.rows(ViewDate);
        if (planted.startsWith(u"2001"_s)) {
            QCOMPARE(upgraded.last(), u"2026-12-05 17:29:47"_s);
            db.exec(u"insert into Log values ('2026-12-04 23:59:50', '2026-12-05 00:00:05', 1024, 1536, 2)"_s);
            QCOMPARE(db.rows(u"select DDate, KBDown, KBUp from DownloadPerDay"_s), QStringList {u"20261204|1.5|1"_s});
        } else {
            QCOMPARE(upgraded, before);
        }
        clock.advanceDays(1);
        QVERIFY(upgrade(db, clock));
        QCOMPARE(db.rows(ViewSql) + db.rows(ViewDate), upgraded);
    }

    void dayTotalsAreAddedOnce_data()
    {
        QTest::addColumn<QString>("handMade"); // a view whose catalog entry is taken away
        QTest::newRow("views of the program") << QString();
        QTest::newRow("week view made by hand") << u"DownloadPerWeek"_s;
    }

    // An older database gets the per-day totals of its log and views that read them, with the
    // rows its views gave, and the open row's journal; a view made by hand is left as it is.
    void dayTotalsAreAddedOnce()
    {
        QFETCH(QString, handMade);
        TestDatabase db;
        makeOlderDatabase(db);
        db.exec(u"drop table RowJournal"_s);
        db.exec(u"delete from ViewCatalog where ViewName = '%1'"_s.arg(handMade));
        const QStringList handMadeSql = db.rows(u"select sql from sqlite_master where name = '%1'"_s.arg(handMade));
        QCOMPARE(db.rows(u"select ddate from DownloadPerYear"_s), QStringList({u"2026"_s, u"2025"_s, u"2024"_s}));
        FakeClock clock(QDateTime(QDate(2027, 1, 2), QTime(8, 0)));
        QVERIFY(upgrade(db, clock));
        // The rows of the older views, which are the per-row definitions.
        StoreSession session(db.path());
        QVERIFY(session.open());
        QCOMPARE(PeriodViewCheck::mismatch(session), QString());
        session.close();
        // Made as a new database has them (the triggers too), but for the view made by hand.
        QStringList expected = definitions(TestDatabase());
        QStringList dates;
        for (const QString &view : PeriodViews) {
            if (view == handMade)
                expected.replaceInStrings(QRegularExpression(u"^view\\|%1\\|.*"_s.arg(view.toLower())),
                    u"view|%1|%2"_s.arg(view, handMadeSql.value(0)).simplified().toLower());
            else
                dates << view + u"|2027-01-02 08:00:00"_s;
        }
        QCOMPARE(definitions(db), expected);
        dates.sort();
        QCOMPARE(db.rows(u"select * from ViewCatalog order by ViewName"_s), dates);

        // A second start finds the table and leaves the database alone.
        const QStringList upgraded = schemaOf(db);
        const QStringList totals = db.rows(u"select * from LogPerDay"_s);
        clock.advanceDays(1);
        QVERIFY(upgrade(db, clock));
        QCOMPARE(schemaOf(db), upgraded);
        QCOMPARE(db.rows(u"select * from LogPerDay"_s), totals);
    }

    // A failure part of the way leaves the older database as it was and fails start-up.
    void failedDayTotalsRollBack()
    {
        TestDatabase db;
        makeOlderDatabase(db);
        // Two counts of one day that no 64-bit total holds.
        db.exec(QStringLiteral("insert into Log values ('2026-01-01 10:00:00', '2026-01-01 10:00:00', 0, "
                               "9000000000000000000, 0), ('2026-01-01 11:00:00', '2026-01-01 11:00:00', 0, "
                               "9000000000000000000, 0)"));
        const QStringList before = schemaOf(db);
        StartupRun run(db.path());
        QVERIFY(!run.startup.run());
        QVERIFY2(run.startup.errorString().contains(u"overflow"_s), qPrintable(run.startup.errorString()));
        QCOMPARE(schemaOf(db), before);
    }
};

QTEST_GUILESS_MAIN(TestSchemaUpgrade)
#include "tst_schemaupgrade.moc"
