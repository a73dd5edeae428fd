// SPDX-License-Identifier: GPL-3.0-or-later
#include "AsOtherUser.h"
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/traffic/AllowanceForecast.h"
#include "core/traffic/RunCounters.h"
#include "report/ReportCommand.h"
#include "report/ReportSource.h"
#include "stats/StatsGrid.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr double MiB = 1024.0 * 1024;
constexpr double GiB = 1024 * MiB;
const QDateTime Sunday(QDate(2026, 12, 6), QTime(17, 29, 47)); // ISO week 2026-W49

// A known log: 10 November sends 1 GiB and receives 2, 2 December 0.5 and 1; the running program's open row (its
// journal) has received 0.25 GiB more today. A monthly allowance from the 1st of 3584 MB: twice December's 1792 MB.
void seed(const TestDatabase &db)
{
    db.exec(u"INSERT INTO Log VALUES('2026-11-10 08:00:00','2026-11-10 09:00:00',%1,%2,50);"
            "INSERT INTO Log VALUES('2026-12-02 08:00:00','2026-12-02 09:00:00',%3,%1,70);"
            "INSERT INTO RowJournal VALUES(1,'2026-12-06 16:00:00','2026-12-06 17:29:40',0,%4,10);"
            "INSERT INTO settings VALUES('maxmbsize','3584');INSERT INTO settings VALUES('logperiodtype','2');"
            "INSERT INTO settings VALUES('logperiod','0');INSERT INTO settings VALUES('logstartday','1');"_s
                .arg(qint64(GiB))
                .arg(qint64(2 * GiB))
                .arg(qint64(GiB / 2))
                .arg(qint64(GiB / 4)));
}

struct Run
{
    int status = -1;
    QByteArray out;
    QString error;
    qint64 msecs = 0;
};

Run report(const Clock &clock, const QStringList &arguments, const QString &programFolder = {})
{
    Run run;
    ReportCommand command(clock, programFolder);
    run.status = command.run(QStringList {u"varnolt-report"_s} + arguments, run.out, run.error);
    return run;
}

// Python's own JSON reader: what it prints for the document given on its input.
QString python(const QString &program, const QByteArray &input)
{
    QProcess process;
    process.start(u"python3"_s, {u"-c"_s, program});
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        qWarning("%s", process.readAllStandardError().constData());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The command as a user runs it, to its end or for 30 s at most (status -1 then).
Run program(const QStringList &arguments)
{
    Run run;
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + u"/varnolt-report"_s, arguments);
    if (process.waitForFinished(30000))
        run.status = process.exitCode();
    run.msecs = timer.elapsed();
    run.out = process.readAllStandardOutput();
    run.error = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

class TestVarnoltReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void viewsAreTheStatisticsGrid_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("view");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("more"); // log rows beyond the seed's
        QTest::addColumn<QStringList>("days"); // each row's first and last day, read off a calendar

        // The day view runs from 2 December to today (the last 14 days).
        QTest::newRow("day") << u"day"_s << 0 << Sunday << QString()
                             << QStringList {u"2026-12-02 2026-12-02"_s, u"2026-12-03 2026-12-03"_s,
                                    u"2026-12-04 2026-12-04"_s, u"2026-12-05 2026-12-05"_s, u"2026-12-06 2026-12-06"_s};
        // 2026 begins on a Thursday and so has a week 53, which ends on 3 January 2027; 10 November
        // is the Tuesday of ISO week 46, 2 December the Wednesday of week 49.
        QTest::newRow("week 53")
            << u"week"_s << 1 << QDateTime(QDate(2027, 1, 3), QTime(12, 0))
            << u"INSERT INTO Log VALUES('2027-01-02 08:00:00','2027-01-02 09:00:00',0,%1,10)"_s.arg(qint64(GiB))
            << QStringList {u"2026-11-09 2026-11-15"_s, u"2026-11-30 2026-12-06"_s, u"2026-12-28 2027-01-03"_s};
        QTest::newRow("month") << u"month"_s << 2 << Sunday << QString()
                               << QStringList {u"2026-11-01 2026-11-30"_s, u"2026-12-01 2026-12-31"_s};
        QTest::newRow("year") << u"year"_s << 3 << Sunday << QString() << QStringList {u"2026-01-01 2026-12-31"_s};
    }

    // Each view's numbers are the grid's own tests'; here the report gives the grid's rows, their bounds and totals.
    void viewsAreTheStatisticsGrid()
    {
        QFETCH(QString, command);
        QFETCH(int, view);
        QFETCH(QDateTime, now);
        QFETCH(QString, more);
        QFETCH(QStringList, days);
        TestDatabase db;
        seed(db);
        if (!more.isEmpty())
            db.exec(more);
        FakeClock clock(now);
        const Run run = report(clock, {command, u"--json"_s, u"--database"_s, db.path()});
        QCOMPARE(run.status, 0);

        // The statistics window's grid on the same log, with the journal's row as the run's.
        RunCounters open;
        open.curIn = GiB / 4;
        StatsGrid grid(clock);
        QCOMPARE(grid.fill(db.path(), view, false, false, open), StatsGrid::Outcome::Filled);

        const QJsonObject document = QJsonDocument::fromJson(run.out).object();
        const QJsonArray periods = document[u"periods"_s].toArray();
        const QString unit = view == 0 ? u"_mb"_s : u"_gb"_s;
        const QStringList keys {u"upload"_s + unit, u"download"_s + unit, u"total"_s + unit};
        QCOMPARE(periods.size(), days.size());
        QCOMPARE(grid.rowCount(), days.size());
        QList<double> total(3);
        for (int row = 0; row < grid.rowCount(); ++row) {
            QCOMPARE(periods[row][u"period"_s].toString(), grid.rowLabel(row));
            QCOMPARE(periods[row][u"start"_s].toString() + u' ' + periods[row][u"end"_s].toString(), days[row]);
            for (int series = 0; series < 3; ++series) {
                QCOMPARE(periods[row][keys[series]].toDouble(), grid.value(row, series));
                total[series] += grid.value(row, series);
            }
        }
        for (int series = 0; series < 3; ++series)
            QCOMPARE(document[u"total"_s][keys[series]].toDouble(), total[series]);
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("bounds"); // the first period's first day and the last one's last; or the error
        // Beyond the seed: the 15th of each month from January 2025 to October 2026.
        QTest::newRow("40 days, past the window's 15") << u"day --limit 40"_s << u"2026-10-28 2026-12-06"_s;
        QTest::newRow("days since a day") << u"day --since 2026-11-28"_s << u"2026-11-28 2026-12-06"_s;
        QTest::newRow("20 months, past the window's 12") << u"month --limit 20"_s << u"2025-05-01 2026-12-31"_s;
        QTest::newRow("2 months from a last day")
            << u"month --since 2025-03-31 --limit 2"_s << u"2025-03-01 2025-04-30"_s;
        // 10 and 15 November are in the week of Wednesday the 11th; the next logged is 2 December's.
        QTest::newRow("2 weeks from a Wednesday's")
            << u"week --since 2026-11-11 --limit 2"_s << u"2026-11-09 2026-12-06"_s;
        for (const QString &wrong : {u"2026-02-30"_s, u"2026-2-3"_s, u"yesterday"_s})
            QTest::newRow(qPrintable(wrong)) << u"day --since "_s + wrong << u"yyyy-mm-dd"_s;
    }

    // Any range of any view, in every format: the periods asked for, whole, in time order.
    void ranges()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, bounds);
        TestDatabase db;
        seed(db);
        for (QDate month(2025, 1, 15); month < QDate(2026, 11, 1); month = month.addMonths(1))
            db.exec(u"INSERT INTO Log VALUES('%1 08:00:00','%1 09:00:00',%2,%2,50)"_s.arg(month.toString(Qt::ISODate))
                        .arg(qint64(GiB)));
        FakeClock clock(Sunday);
        const QStringList command = arguments.split(u' ') + QStringList {u"--database"_s, db.path()};
        const Run json = report(clock, command + QStringList {u"--json"_s});
        if (!bounds.contains(u' ')) {
            QCOMPARE(json.status, int(ReportCommand::WrongUse));
            QVERIFY2(json.error.contains(bounds) && json.error.contains(command.at(2)), qPrintable(json.error));
            return;
        }
        const QJsonArray periods = QJsonDocument::fromJson(json.out).object()[u"periods"_s].toArray();
        QCOMPARE(periods.first()[u"start"_s].toString() + u' ' + periods.last()[u"end"_s].toString(), bounds);
        // The CSV lists as many periods, a line each between the header and the total (the text, too: one table).
        QCOMPARE(report(clock, command + QStringList {u"--csv"_s}).out.count('\n'), periods.size() + 2);
    }

    // The text table and the status in the user's locale, the table aligned; CSV as the export writes it,
    // whatever the locale; from a file the report cannot write, too.
    void textCsvAndStatus()
    {
        TestDatabase db;
        seed(db);
        FakeClock clock(Sunday);
        QLocale::setDefault(QLocale(u"de_DE"_s));
        const QStringList lines
            = QString::fromUtf8(report(clock, {u"day"_s, u"--database"_s, db.path()}).out).split(u'\n');
        // Header, five days, a rule, the total, the note on the open row, and the last line end.
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines[0].split(u' ', Qt::SkipEmptyParts),
            (QStringList {u"Period"_s, u"Upload"_s, u"(MB)"_s, u"Download"_s, u"(MB)"_s, u"Total"_s, u"(MB)"_s}));
        QCOMPARE(lines[1].split(u' ', Qt::SkipEmptyParts),
            (QStringList {u"02.12"_s, u"512,000"_s, u"1.024,000"_s, u"1.536,000"_s}));
        QCOMPARE(lines[7].split(u' ', Qt::SkipEmptyParts),
            (QStringList {u"Total"_s, u"512,000"_s, u"1.280,000"_s, u"1.792,000"_s}));
        for (int line = 1; line <= 7; ++line)
            QCOMPARE(lines[line].size(), lines[0].size());

        // "." and two truncated decimals, CR LF after every line.
        QCOMPARE(report(clock, {u"month"_s, u"--csv"_s, u"--database"_s, db.path()}).out,
            "Period,UploadGB,DownloadGB,TotalGB\r\n11/2026,1.00,2.00,3.00\r\n12/2026,0.50,1.25,1.75\r\n"
            "Total,1.50,3.25,4.75\r\n");
        const QList<QByteArray> status
            = report(clock, {u"status"_s, u"--csv"_s, u"--database"_s, db.path()}).out.split('\n');
        QCOMPARE(status.size(), 3);
        QVERIFY(status[1].startsWith("\"1792 MB (50,0 %) Left.\",3584.00,1792.00,256.00,0,months,1,"));

        // Mid-window of December, with half of the allowance used: it lasts exactly to the window's end.
        clock.set(QDateTime(QDate(2026, 12, 16), QTime(12, 0)));
        QLocale::setDefault(QLocale(u"en_US"_s));
        const Run json = report(clock, {u"status"_s, u"--json"_s, u"--database"_s, db.path()});
        QCOMPARE(json.status, 0);
        const QString read
            = python(u"import json,sys,datetime as t; d=json.load(sys.stdin); f=d['forecast']; "
                     "print(d['volume_left_text'], d['used_mb'], d['open_row_mb'], "
                     "t.datetime.fromisoformat(d['window_start']).date(), "
                     "t.datetime.fromisoformat(f['runs_out']) == t.datetime.fromisoformat(d['window_end']), "
                     "t.datetime.fromisoformat(f['runs_out']).date(), f['expected_at_end_mb'])"_s,
                json.out);
        QCOMPARE(read, u"1792 MB (50.0 %) Left. 1792 256 2026-12-01 True 2027-01-01 3584"_s);
        const QString text = QString::fromUtf8(report(clock, {u"status"_s, u"--database"_s, db.path()}).out);
        QVERIFY2(text.contains(u"Used:         1,792.0 MB (256.0 MB not logged yet)\n"_s), qPrintable(text));

        // Read as another user (root writes any file) from a file and folder no one but root may write.
        QFile::setPermissions(db.path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QFile::setPermissions(db.folder(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
        Run run;
        {
            AsOtherUser other;
            run = report(clock, {u"year"_s, u"--csv"_s, u"--database"_s, db.path()});
        }
        QCOMPARE(run.error, QString());
        QCOMPARE(run.out.split('\n').value(1), "2026,1.50,3.25,4.75\r");
    }

    void metricsAreTheViews_data()
    {
        QTest::addColumn<QString>("router"); // the router's name; empty: the interfaces are metered
        QTest::newRow("interfaces") << QString();
        QTest::newRow("router with a hostile name") << u"Box \"A\"\\n\\\n} 1\n# EOF\r\u2028 \u00e9%1"_s;
    }

    // Prometheus' own parsers read the metrics, whose numbers are the views' for a log over several months and
    // years with an open row, on every day of a week that spans two months and two years.
    void metricsAreTheViews()
    {
        QFETCH(QString, router);
        TestDatabase db;
        seed(db);
        db.exec(u"INSERT INTO Log VALUES('2025-12-31 20:00:00','2025-12-31 21:00:00',7000,9000,1);"
                "INSERT INTO Log VALUES('2026-09-03 08:00:00','2026-09-03 09:00:00',123456789,987654321,1);"
                "INSERT INTO Log VALUES('2026-11-30 08:00:00','2026-11-30 09:00:00',3333,4444,1);"
                "INSERT INTO Log VALUES('2026-12-06 08:00:00','2026-12-06 09:00:00',5555,6666,1);"
                "INSERT INTO Log VALUES('2026-12-29 08:00:00','2026-12-29 09:00:00',77,88,1);"_s);
        if (!router.isEmpty())
            db.exec(u"INSERT INTO settings VALUES('RouterURL','http://192.0.2.1:5000/rootDesc.xml');"
                    "INSERT INTO settings VALUES('RouterName','%1')"_s.arg(router));
        // The checker lies beside this file, which the compiler may name from the tests' build folder.
        const QString checker
            = QDir(QCoreApplication::applicationDirPath() + u"/../tests"_s)
                  .absoluteFilePath(QFileInfo(QStringLiteral(__FILE__)).path() + u"/check_metrics.py"_s);
        QTemporaryDir folder;
        for (const QDate &day : {QDate(2026, 12, 6), QDate(2026, 12, 30), QDate(2027, 1, 1)}) {
            FakeClock clock(QDateTime(day, QTime(17, 29, 47)));
            for (const QString &command : {u"day"_s, u"week"_s, u"month"_s, u"year"_s, u"status"_s}) {
                QFile json(folder.filePath(command + u".json"_s));
                QVERIFY(json.open(QIODevice::WriteOnly));
                json.write(report(clock, {command, u"--json"_s, u"--database"_s, db.path()}).out);
            }
            const Run metrics = report(clock, {u"metrics"_s, u"--database"_s, db.path()});
            QCOMPARE(metrics.status, 0);
            QFile text(folder.filePath(u"metrics.txt"_s));
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write(metrics.out);
            text.close();
            QProcess check;
            check.start(u"/usr/bin/python3"_s, {checker, folder.path(), db.path()});
            QVERIFY(check.waitForFinished(30000));
            QVERIFY2(check.exitCode() == 0,
                QByteArray(check.readAllStandardOutput() + check.readAllStandardError()).constData());
        }
    }

    // --output replaces the file whole, private to the user unless the user chose otherwise; a folder that is not
    // there leaves nothing behind.
    void metricsFile()
    {
        TestDatabase db;
        seed(db);
        FakeClock clock(Sunday);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"varnolt.prom"_s);
        const QByteArray text = report(clock, {u"metrics"_s, u"--database"_s, db.path()}).out;
        // The status, whether the file holds what the standard output would, its mode, the folder's files.
        const auto write = [&](const QStringList &more) {
            const Run run = report(clock, QStringList {u"metrics"_s, u"--database"_s, db.path()} + more);
            QFile file(path);
            struct stat info
            {
            };
            ::stat(QFile::encodeName(path).constData(), &info);
            return u"%1 %2 %3 %4"_s.arg(run.status)
                .arg(run.out.isEmpty() && file.open(QIODevice::ReadOnly) && file.readAll() == text)
                .arg(info.st_mode & 0777, 0, 8)
                .arg(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).join(u','));
        };
        QCOMPARE(write({u"--output"_s, path}), u"0 1 600 varnolt.prom"_s);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        QCOMPARE(write({u"--output"_s, path}), u"0 1 604 varnolt.prom"_s);
        QCOMPARE(write({u"--output"_s, path, u"--mode"_s, u"0640"_s}), u"0 1 640 varnolt.prom"_s);
        const Run missing
            = report(clock, {u"metrics"_s, u"--database"_s, db.path(), u"--output"_s, folder.filePath(u"no/x.prom"_s)});
        QCOMPARE(missing.status, 1);
        QVERIFY2(missing.error.contains(folder.filePath(u"no/x.prom"_s)), qPrintable(missing.error));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
            QStringList {u"varnolt.prom"_s});
    }

    void windowEnd_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("startDay");
        QTest::addColumn<QDate>("end");
        QTest::newRow("start day 15 on the 14th") << u"m"_s << QDate(2026, 6, 14) << 15 << QDate(2026, 6, 15);
        // February has no 31st: the monitor counts from 31 January until 1 March, then from 28 February.
        QTest::newRow("start day 31 in February") << u"m"_s << QDate(2026, 2, 10) << 31 << QDate(2026, 3, 1);
    }

    void windowEnd()
    {
        QFETCH(QString, code);
        QFETCH(QDate, today);
        QFETCH(int, startDay);
        QFETCH(QDate, end);
        QCOMPARE(AllowanceForecast::windowEnd(code, today, startDay), QDateTime(end, QTime(0, 0)));
    }

    void missingDatabase()
    {
        // Nothing beside the program and no user copy: reported, and no database made.
        QTemporaryDir empty;
        qputenv("XDG_DATA_HOME", QFile::encodeName(empty.path()));
        FakeClock clock(Sunday);
        const Run run = report(clock, {u"month"_s}, empty.path());
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.error.contains(empty.filePath(u"varnolt/Varnolt.db"_s)), qPrintable(run.error));
        QVERIFY(!QFileInfo::exists(empty.filePath(u"varnolt"_s)));
    }

    void refusedOrRead_data()
    {
        QTest::addColumn<QString>("change"); // SQL run on the seeded database, or "missing": a file not there
        QTest::addColumn<bool>("locked"); // a writer holds its lock while the report reads
        QTest::addColumn<QString>("named"); // what the one line of error names; empty: read
        QTest::addColumn<int>("withinMs");
        // A writer's lock keeps readers out of a rollback-journal database; in WAL mode they read on.
        QTest::newRow("missing file") << u"missing"_s << false << u"does not exist"_s << 1000;
        QTest::newRow("locked rollback journal") << QString() << true << u"locked"_s << 1000;
        QTest::newRow("locked write-ahead log") << u"PRAGMA journal_mode=WAL"_s << true << QString() << 1000;
        // A month view rewritten by hand to count through a recursive query: read to a bound, else endless.
        const QString slow = u"DROP VIEW DownloadPerMonth; CREATE VIEW DownloadPerMonth AS WITH RECURSIVE n(i) AS "
                             "(SELECT 1 UNION ALL SELECT i + 1 FROM n %1) "
                             "SELECT 202612 AS ddate, count(*) AS kbdown, 0 AS kbup, 0 AS avgdown FROM n"_s;
        const int limit = ReportSource::StatementTimeLimitMs + 2000;
        QTest::newRow("slow but finite view") << slow.arg(u"WHERE i < 1000000"_s) << false << QString() << limit;
        QTest::newRow("endless view") << slow.arg(QString()) << false << u"DownloadPerMonth"_s << limit;
    }

    void refusedOrRead()
    {
        QFETCH(QString, change);
        QFETCH(bool, locked);
        QFETCH(QString, named);
        QFETCH(int, withinMs);
        TestDatabase db;
        seed(db);
        const QString path = change == u"missing"_s ? db.folder() + u"/absent.db"_s : db.path();
        if (!change.isEmpty() && path == db.path())
            db.exec(change);
        StoreSession writer(db.path());
        if (locked) {
            QVERIFY(writer.open());
            QVERIFY(writer.executeNative(u"BEGIN EXCLUSIVE; INSERT INTO Log VALUES('2026-12-06 10:00:00',"
                                         "'2026-12-06 10:00:00',1,1,0)"_s));
        }

        const Run run = program({u"month"_s, u"--csv"_s, u"--database"_s, path});
        if (locked)
            writer.rollback();
        QVERIFY2(run.msecs < withinMs, qPrintable(u"%1 ms"_s.arg(run.msecs)));
        if (named.isEmpty()) {
            QCOMPARE(run.status, 0);
            QCOMPARE(run.error, QString());
            QVERIFY(run.out.contains("\r\n12/2026,"));
            return;
        }
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.error.count(u'\n'), 1);
        QVERIFY2(run.error.contains(named), qPrintable(run.error));
    }
};

QTEST_GUILESS_MAIN(TestVarnoltReport)
#include "tst_varnoltreport.moc"
