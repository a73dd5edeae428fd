#include "StartupRun.h"
#include "TestDatabase.h"

#include "core/store/DayViewDefinition.h"
#include "core/store/SchemaUpgrade.h"

#include <QTest>

namespace {

const QString ViewSql = QStringLiteral("select sql from sqlite_master where type = 'view' and name = 'DownloadPerDay'");
const QString ViewDate = QStringLiteral("select DateModified from ViewCatalog where ViewName = 'DownloadPerDay'");

// Puts an older day view into the database, dated as given.
void plantDayView(const TestDatabase &db, const QString &select, const QString &date)
{
    db.exec(QStringLiteral("drop view DownloadPerDay"));
    db.exec(QStringLiteral("create view DownloadPerDay as ") + select);
    db.exec(QStringLiteral("update ViewCatalog set DateModified = '%1' where ViewName = 'DownloadPerDay'").arg(date));
}

const QString OldSelect
    = QStringLiteral("select cast(strftime('%Y%m%d', DateAndTimeEnd) as integer) as DDate, sum(BytesRcvd) as KBDown, "
                     "sum(BytesSent) as KBUp, avg(AvgDownloadSpeed) as AVGDown, date(DateAndTimeEnd) as Gdate from Log "
                     "group by 1 order by 1 desc");

bool upgrade(const TestDatabase &db, const FakeClock &clock, QString *error = nullptr)
{
    DebugLog log(false, QString(), clock);
    StoreSession session(db.path());
    if (!session.open())
        return false;
    SchemaUpgrade upgrade(session, clock, log);
    const bool ok = upgrade.run();
    if (error)
        *error = upgrade.errorString();
    return ok;
}

} // namespace

class TestSchemaUpgrade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void viewIsLeftAlone_data()
    {
        QTest::addColumn<QString>("planted"); // the date of an older view put in; empty: as shipped
        QTest::newRow("shipped view") << QString();
        QTest::newRow("older view of another year") << QStringLiteral("2019-03-01 08:00:00");
    }

    void viewIsLeftAlone()
    {
        QFETCH(QString, planted);
        TestDatabase db;
        if (!planted.isEmpty())
            plantDayView(db, OldSelect, planted);
        const QStringList before = db.rows(ViewSql);
        const QStringList dated = db.rows(ViewDate);
        QVERIFY(upgrade(db, FakeClock()));
        QCOMPARE(db.rows(ViewSql), before);
        QCOMPARE(db.rows(ViewDate), dated);
    }

    void viewOf2001IsReplacedOnce()
    {
        TestDatabase db;
        plantDayView(db, OldSelect, QStringLiteral("2001-06-14 10:00:00"));
        FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(17, 29, 47)));
        QVERIFY(upgrade(db, clock));

        const QStringList upgraded = db.rows(ViewSql);
        QVERIFY(upgraded.first().endsWith(DayViewDefinition::sqliteText()));
        QCOMPARE(db.rows(ViewDate), QStringList {QStringLiteral("2026-12-05 17:29:47")});

        // The new view counts a row on the day it starts, in kilobytes.
        db.exec(QStringLiteral("insert into Log values ('2026-12-04 23:59:50', '2026-12-05 00:00:05', 1024, 1536, 2)"));
        QCOMPARE(db.rows(QStringLiteral("select DDate, KBDown, KBUp from DownloadPerDay")),
            QStringList {QStringLiteral("20261204|1.5|1")});

        // A second start finds this year's date and leaves the view as it is.
        clock.advanceDays(1);
        QVERIFY(upgrade(db, clock));
        QCOMPARE(db.rows(ViewDate), QStringList {QStringLiteral("2026-12-05 17:29:47")});
    }

    void missingViewFailsStartup()
    {
        TestDatabase db;
        db.exec(QStringLiteral("drop view DownloadPerDay"));
        FakeClock clock;
        QString error;
        QVERIFY(!upgrade(db, clock, &error));
        QVERIFY(error.contains(QStringLiteral("DownloadPerDay")));

        QVERIFY(!StartupRun(db.path()).startup.run());
        QVERIFY(db.rows(QStringLiteral("select * from Log")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSchemaUpgrade)
#include "tst_schemaupgrade.moc"
