// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/LogReset.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString OldRows = u"insert into Log values "
                        u"('2026-11-30 09:00:00','2026-11-30 10:00:00',12339,5368709632,12.05),"
                        u"('2026-12-05 00:00:00','2026-12-05 00:00:00',0,0,0),"
                        u"('2026-12-05 08:00:00','2026-12-05 09:00:00',1024,1264,0.29);"
                        u"insert into settings values ('Adapter1', 'eth0'), ('Adapter3', 'wlan0'), "
                        u"('ExportFolder', '/home/jan/Varnolt.csv'), ('logperiod', '30')"_s;
// The running program's open row, not logged yet.
const QString Journal = u"insert into RowJournal values (1, '2026-12-05 17:00:00', '2026-12-05 17:29:45', 100, "
                        u"2000, 1.5)"_s;

const QString LogRows = u"select * from Log order by rowid"_s;
const QString StartRow = u"2026-12-05 17:29:47|2026-12-05 17:29:47|0|0|0"_s;

QStringList untouched(const TestDatabase &db)
{
    return db.rows(u"select * from settings order by rowid"_s) + db.rows(u"select * from RowJournal"_s);
}

} // namespace

// Erasing the traffic log leaves one start row and everything else as it was.
class TestLogReset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leavesOneStartRow_data()
    {
        QTest::addColumn<QString>("locale");
        // The dates go into the statement in the locale's own form: " h " between hours and
        // minutes under fr_CA, Arabic-Indic digits under ar_EG.
        for (const char *locale : {"fr_CA", "ar_EG"})
            QTest::newRow(locale) << QString::fromLatin1(locale);
    }

    void leavesOneStartRow()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        TestDatabase db;
        db.exec(OldRows + u";"_s + Journal);
        const QStringList before = untouched(db);
        FakeClock clock;
        LogReset reset(db.path(), clock);

        QVERIFY2(reset.run(), qPrintable(reset.errorString()));
        QCOMPARE(db.rows(LogRows), QStringList {StartRow});
        QCOMPARE(untouched(db), before);
    }

    void fails_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("no database file") << u"missing"_s << QStringList();
        QTest::newRow("locked by another program") << u"locked"_s << QStringList();
        // The start row is still written after a refused deletion; the next log row removes it.
        QTest::newRow("deletion refused") << u"refused"_s << QStringList {StartRow};
    }

    void fails()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, added);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        TestDatabase db;
        db.exec(OldRows);
        const QStringList before = db.rows(LogRows);
        if (fault == u"refused"_s)
            db.exec(u"create trigger KeepLog before delete on Log begin select raise(abort, 'refused'); end"_s);
        const QString path = fault == u"missing"_s ? db.folder() + u"/none.db"_s : db.path();
        StoreSession holder(db.path());
        if (fault == u"locked"_s)
            QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));
        FakeClock clock;
        LogReset reset(path, clock);

        QVERIFY(!reset.run());
        QVERIFY(!reset.errorString().isEmpty());
        holder.rollback();
        QVERIFY(!QFile::exists(db.folder() + u"/none.db"_s)); // never created
        QCOMPARE(db.rows(LogRows), before + added);
    }
};

QTEST_GUILESS_MAIN(TestLogReset)
#include "tst_logreset.moc"
