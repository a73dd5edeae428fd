// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodViewCheck.h"

#include "core/StopRequest.h"
#include "core/store/FormatDateText.h"
#include "core/store/NumberText.h"
#include "core/store/StoreSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <thread>

using namespace Qt::StringLiterals;

// Opens a session on the test's copy of the database and fails the test when that does not work.
#define OPEN(session)                                                                                                  \
    StoreSession session(m_path);                                                                                      \
    QVERIFY2(session.open(), qPrintable(session.errorString()))

// Every statement of the program against a copy of the shipped database, under locales that
// write dates and numbers differently. Expected values are worked out by hand.
class TestStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    static void insertRow(StoreSession &session, const QString &start, qint64 sent, qint64 received, double average,
        const QString &end = QString())
    {
        const QString sql = u"insert into Log values('%1', '%2', %3, %4, %5)"_s.arg(start, end.isEmpty() ? start : end,
            QString::number(sent), QString::number(received), QString::number(average));
        QVERIFY2(session.executeNative(sql), qPrintable(session.errorString()));
    }

    static int logRowCount(StoreSession &session)
    {
        const std::optional<QueryResult> count = session.queryNative(u"select count(*) from Log"_s);
        return count ? count->rows().at(0).at(0).toInt() : -1;
    }

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        QLocale::setDefault(QLocale(u"en_US"_s));
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"Varnolt.db"_s);
        QFile::remove(m_path);
        QVERIFY(QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), m_path));
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner));
    }

    void logRowUnderEveryLocale()
    {
        // Rows as the log writer writes them: dates through FormatDateText, whole byte counts
        // and the quoted four-decimal average through NumberText, under the user's locale; by
        // position and by column list in turn.
        struct Row
        {
            QDateTime start, end;
            double sent, received, average;
        };
        const QDate day(2026, 12, 5);
        const QList<Row> rows {{QDateTime(day, QTime(17, 29, 47)), QDateTime(day, QTime(23, 59, 59)), 2000000000,
                                   9007199254740991.0, 1234.5678},
            {QDateTime(QDate(2027, 1, 2), QTime(0, 0)), QDateTime(QDate(2027, 1, 2), QTime(0, 0, 1)), 1, 0, 0.0001},
            {QDateTime(QDate(2026, 3, 4), QTime(9, 8, 7)), QDateTime(QDate(2026, 3, 4), QTime(12, 0)), 4096, 1e12,
                99999999.9999}};
        const auto statement = [](const Row &row, bool columnList) -> QString {
            return (columnList
                           ? u"INSERT INTO Log(DateAndTimeStart,DateAndTimeEnd,BytesSent,BytesRcvd,AvgDownloadSpeed)"_s
                           : u"INSERT INTO Log"_s)
                + u" values('"_s + FormatDateText(row.start) + u"','"_s + FormatDateText(row.end) + u"',"_s
                + NumberText::plain(row.sent) + u","_s + NumberText::plain(row.received) + u",'"_s
                + NumberText::fourDecimals(row.average) + u"');"_s;
        };
        QList<QVariantList> expected;
        for (const Row &row : rows)
            expected.append({row.start.toString(u"yyyy-MM-dd HH:mm:ss"_s), row.end.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                qint64(row.sent), qint64(row.received), row.average, u"real"_s});

        const QList<QLocale> locales
            = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(locales.size() > 300);
        StoreSession session(m_path);
        bool columnList = false;
        for (const QLocale &locale : locales) {
            QLocale::setDefault(locale);
            columnList = !columnList;
            // A connection reads the locale when it opens; each locale's rows are rolled back.
            QVERIFY(session.open() && session.beginTransaction());
            for (const Row &row : rows) {
                if (!session.execute(statement(row, columnList)))
                    QFAIL(qPrintable(locale.name() + u": "_s + session.errorString()));
            }
            const auto stored = session.queryNative(u"select DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, "
                                                    u"AvgDownloadSpeed, typeof(AvgDownloadSpeed) from Log"_s);
            QVERIFY(stored);
            if (stored->rows() != expected)
                QFAIL(qPrintable(locale.name() + u": "_s + statement(rows.first(), columnList)));
            session.rollback();
        }
    }

    void statements_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QString>("error"); // non-empty: the statement fails with this text

        // An expression (text without a space) is selected; a statement is run as it is.
        const auto ok = [](const char *name, const QString &locale, const QString &expression, const QVariant &value) {
            QTest::newRow(name) << locale << u"select "_s + expression + u" as v"_s << value << QString();
        };
        const auto fails = [](const char *name, const QString &locale, QString statement, const QString &error) {
            if (!statement.contains(u' '))
                statement = u"select "_s + statement + u" as v"_s;
            QTest::newRow(name) << locale << statement << QVariant() << error;
        };
        const QString en = u"en_US"_s;
        const QString de = u"de_DE"_s;
        const QString insert = u"INSERT INTO Log values(%1);"_s;
        const QString mismatch = u"Data type mismatch"_s;
        fails("two decimal commas", de, insert.arg(u"'2026.12.05 17:29:47','2026.12.05 17:29:47',1,2,'1,2,5'"_s),
            mismatch);
        fails("30 February", en, insert.arg(u"'2026/02/30 17:29:47','2026/12/05 17:29:47',1,2,'0'"_s), mismatch);
        fails(
            "bytes as words", en, insert.arg(u"'2026/12/05 17:29:47','2026/12/05 17:29:47','many',2,'0'"_s), mismatch);
        fails("two statements", en, u"select 1; select 2"_s, u"Characters found after end of SQL statement"_s);
        fails("no such table", en, u"select * from nowhere"_s, u"no such table"_s);
        fails("top percent", en, u"select top 5 percent * from Log"_s, u"PERCENT"_s);
        fails("month 13 in a literal", en, u"select * from log where DateAndTimeStart > #13-45-2026#"_s,
            u"Syntax error in date"_s);
        ok("sum and division twice", en, u"1+7/2/2"_s, 2.75);
        ok("parenthesised divisor", en, u"-7/(1+1)"_s, -3.5);
        ok("CLng locale text", de, u"CLng('3,5')"_s, qint64(4));
        ok("CLng top", en, u"CLng('2147483647.4')"_s, qint64(2147483647));
        ok("CLng bottom, half to even", en, u"CLng('-2147483648.5')"_s, qint64(-2147483647 - 1));
        fails("CLng overflow", en, u"CLng('2147483647.5')"_s, u"Overflow"_s);
        ok("Format of a date literal, de", de, u"Format(#12-05-2026 17:29:47#,\"yyyy/mm/dd hh:nn:ss\")"_s,
            u"2026.12.05 17:29:47"_s);
        ok("Format of null", en, u"Format(null,'yyyy')"_s, QVariant());
        ok("CDate of locale text", de, u"CDate('05.12.2026')"_s, u"2026-12-05 00:00:00"_s);
        fails("CDate of 31 February", de, u"CDate('31.02.2026')"_s, u"Type mismatch"_s);
        ok("CDate keeps 2030", en, u"CDate(Format('2030-06-15 08:00:00','yyyy/mm/dd'))"_s, u"2030-06-15 00:00:00"_s);
        ok("year from a leap day", en, u"dateadd('yyyy',1,#02-29-2024#)"_s, u"2025-02-28 00:00:00"_s);
        ok("month to a leap day", en, u"dateadd('m',1,#01-31-2024#)"_s, u"2024-02-29 00:00:00"_s);
        ok("quarter", en, u"dateadd('q',1,#11-30-2026#)"_s, u"2027-02-28 00:00:00"_s);
        ok("week over the year end", en, u"dateadd('ww',1,#12-28-2026#)"_s, u"2027-01-04 00:00:00"_s);
        ok("hours over the year end", en, u"dateadd('h',2,#12-31-2026 23:00:00#)"_s, u"2027-01-01 01:00:00"_s);
        ok("minute back", en, u"dateadd('n',-1,#01-01-2027#)"_s, u"2026-12-31 23:59:00"_s);
        ok("day from locale text", de, u"dateadd('d',1,'31.12.2026 10:00')"_s, u"2027-01-01 10:00:00"_s);
        fails("unknown interval", en, u"dateadd('x',1,#12-01-2026#)"_s, u"Invalid procedure call"_s);
        ok("slash in a string", en, u"'a/b'"_s, u"a/b"_s);
        ok("double-quoted string", en, u"\"it's \"\"x\"\"\""_s, u"it's \"x\""_s);
        ok("top in a subquery", en,
            u"(select sum(v) from (select top 2 v from (select 1 as v union all select 2 union all select 3) "
            u"order by v desc))"_s,
            qint64(5));
        fails("open string", en, u"'abc"_s, u"Syntax error in string"_s);
    }

    // A statement that fails gives a message that names the fault and the statement, and
    // writes nothing.
    void statements()
    {
        QFETCH(QString, locale);
        QFETCH(QString, statement);
        QFETCH(QVariant, expected);
        QFETCH(QString, error);
        QLocale::setDefault(QLocale(locale));
        OPEN(session);
        insertRow(session, u"2026-12-05 10:00:00"_s, 1, 1, 1);
        const bool write = statement.startsWith(u"INSERT"_s);
        const auto result = write ? std::nullopt : session.query(statement);
        QCOMPARE(write ? session.execute(statement) : result.has_value(), error.isEmpty());
        if (result)
            QCOMPARE(result->value(0, u"v"_s), expected);
        const QString message = session.errorString();
        QVERIFY2(error.isEmpty() || (message.contains(error) && message.contains(statement)), qPrintable(message));
        QCOMPARE(logRowCount(session), 1);
    }

    // The views read the per-day totals that triggers keep; they give the rows of their per-row
    // definitions on a random log over three years, after inserts, deletes and updates.
    void viewsGiveTheirDefinitionsRows()
    {
        OPEN(session);
        QRandomGenerator random(20261207);
        const QDateTime first(QDate(2024, 1, 1), QTime(0, 0));
        const auto count = [&random](quint32 top) -> QString {
            return random.bounded(40) == 0 ? u"NULL"_s : QString::number(random.bounded(top));
        };
        QStringList rows;
        for (int row = 0; row < 3000; ++row) {
            const QDateTime start = first.addSecs(qint64(random.bounded(3 * 365 * 86400)));
            const QString stored = start.toString(u"yyyy-MM-dd HH:mm:ss"_s);
            // One row in twenty is a marker.
            rows << (random.bounded(20) == 0 ? u"('%1','%1',0,0,0)"_s.arg(stored)
                                             : u"('%1','%1',%2,%3,%4)"_s.arg(stored, count(2000000000),
                                                 count(2000000000), count(10000000) + u"/10000.0"_s));
        }
        // A day whose counts are all NULL totals NULL.
        rows << u"('2023-05-05 10:00:00','2023-05-05 11:00:00',NULL,NULL,NULL)"_s
             << u"('2023-05-05 12:00:00','2023-05-05 13:00:00',NULL,NULL,NULL)"_s;
        const QString insert = u"insert into Log values "_s + rows.join(u","_s);
        QVERIFY2(session.executeNative(insert), qPrintable(session.errorString()));
        QCOMPARE(PeriodViewCheck::mismatch(session), QString());

        const QStringList changes = {u"delete from Log where rowid % 7 = 3"_s,
            // Ten whole days go, and must not show as empty days.
            u"delete from Log where DateAndTimeStart like '2025-06-1%'"_s,
            // Rows moved to the next day, across months and years.
            u"update Log set DateAndTimeStart = datetime(DateAndTimeStart, '+1 day') where rowid % 11 = 4"_s,
            u"update Log set BytesRcvd = NULL, AvgDownloadSpeed = AvgDownloadSpeed * 3 where rowid % 13 = 6"_s,
            u"update Log set BytesRcvd = BytesSent + 1, BytesSent = NULL where rowid % 17 = 2"_s,
            u"update Log set BytesSent = 5 where DateAndTimeStart like '2023-05-05%' and rowid % 2 = 0"_s};
        for (const QString &change : changes)
            QVERIFY2(session.executeNative(change), qPrintable(session.errorString()));
        QCOMPARE(PeriodViewCheck::mismatch(session), QString());
        QCOMPARE(session.queryNative(u"select count(*) from LogPerDay where Day like '2025-06-1%'"_s)->rows(),
            QList<QVariantList> {{0}});
    }

    // A session waits briefly for another program's lock (the window thread must not hang), and
    // a query's time limit counts its running, not that wait; a session that follows a stop
    // request gives up a query without end as soon as one comes.
    void lockLimitAndStop()
    {
        OPEN(reader);
        OPEN(holder);
        insertRow(holder, u"2026-12-05 10:00:00"_s, 1, 1, 1);
        QVERIFY(holder.executeNative(u"BEGIN EXCLUSIVE"_s)); // readers wait too (rollback journal)
        QVERIFY(holder.execute(u"Delete * from log;"_s));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!reader.execute(u"Delete * from log;"_s));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(u"%1 ms"_s.arg(timer.elapsed())));
        QVERIFY2(reader.errorString().contains(u"locked"_s), qPrintable(reader.errorString()));
        // The lock is held until the reader has waited twice its query's time limit.
        const int steps = StoreSession::lockWaitSteps() + 2 * 300 / 10;
        std::atomic<bool> done = false;
        std::thread release([&] {
            while (!done && StoreSession::lockWaitSteps() < steps)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            holder.rollback();
        });
        reader.setBusyTimeout(3000);
        reader.setStatementTimeLimit(300);
        // Some thousand steps of work after the wait, so that the limit is looked at.
        const std::optional<QueryResult> waited
            = reader.queryNative(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
                                 "SELECT count(*) FROM n, (SELECT count(*) FROM Log)"_s);
        done = true;
        release.join();
        QVERIFY2(waited, qPrintable(reader.errorString()));
        QCOMPARE(logRowCount(reader), 1); // the holder's delete rolled back

        const QString endless = u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                                "SELECT count(*) FROM n"_s;
        reader.setStatementTimeLimit(5000); // ends the query should the stop not
        reader.setStopOnRequest(true);
        std::thread stop([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            StopRequest::request(SIGTERM);
        });
        timer.restart();
        const bool ran = reader.queryNative(endless).has_value();
        const qint64 elapsed = timer.elapsed();
        stop.join();
        StopRequest::clear();
        QVERIFY(!ran);
        QVERIFY2(elapsed < 1300, qPrintable(u"%1 ms"_s.arg(elapsed)));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
