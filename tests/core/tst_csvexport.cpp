// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderSnapshot.h"
#include "TestDatabase.h"
#include "WriteFile.h"

#include "core/CsvExport.h"

#include <QBuffer>
#include <QDir>
#include <QLocale>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Five days over two ISO weeks (31 December 2025 lies in week 1 of 2026) and two years; bytes
// that give round or truncated KB: 1023 = 0.999 KB, 12339 = 12.0498 KB, 5368709632 = 5242880.5 KB.
const QString KnownLog = u"insert into Log values "
                         u"('2025-12-31 22:00:00','2025-12-31 23:59:59',3072,10240,7),"
                         u"('2026-01-01 00:00:00','2026-01-01 01:00:00',1023,1048576,0.999),"
                         u"('2026-11-30 09:00:00','2026-11-30 10:00:00',12339,5368709632,12.05),"
                         u"('2026-12-05 17:00:00','2026-12-05 17:10:00',1024,1264,0.29),"
                         u"('2026-12-06 00:00:00','2026-12-06 00:00:00',0,0,0)"_s;

// The files for KnownLog, worked out by hand: week 202649 = (5368709632 + 1264) / 1024 KB down,
// (12339 + 1024) / 1024 KB up, (12.05 + 0.29 + 0) / 3 kB/s; year 2026 averages four rows.
const QByteArray Header = "Period,KBDown,KBUp,AvgSpeedkBps\r\n";
const QByteArray PerDay = Header
    + "20261206,0.00,0.00,0.00\r\n"
      "20261205,1.23,1.00,0.29\r\n"
      "20261130,5242880.50,12.04,12.05\r\n"
      "20260101,1024.00,0.99,0.99\r\n"
      "20251231,10.00,3.00,7.00\r\n";
const QByteArray PerWeek = Header
    + "202649,5242881.73,13.04,4.11\r\n"
      "202601,1034.00,3.99,3.99\r\n";
const QByteArray PerYear = Header
    + "2026,5243905.73,14.04,3.33\r\n"
      "2025,10.00,3.00,7.00\r\n";

int modeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Everything in a folder, hidden files (a temporary file left behind) included.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList exportFolderRows(const TestDatabase &db)
{
    return db.rows(u"select Settingvalue from settings where Settingname = 'ExportFolder'"_s);
}

// The known log in a database, and a folder to export to.
struct Logged
{
    explicit Logged(bool logged = true)
    {
        if (logged)
            db.exec(KnownLog);
    }
    TestDatabase db;
    QTemporaryDir out;
};

// A device that takes `budget` bytes and then refuses, as a disk that fills up does.
class FullDevice final : public QBuffer
{
public:
    explicit FullDevice(qint64 budget)
        : m_budget(budget)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 count = std::min(size, std::exchange(m_budget, std::max(qint64(0), m_budget - size)));
        return count > 0 ? QBuffer::writeData(data, count) : -1;
    }

private:
    qint64 m_budget;
};

} // namespace

class TestCsvExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The usual umask lets a new file be read by all: a new export must still be the user's alone.
    void initTestCase() { ::umask(022); }
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The file replaces the one there, whole, keeping its permission bits, and its path (with a
    // quote, an SQL string in the settings) is kept for the next start.
    void replacesTheFileWhole()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Logged l;
        const QString folder = l.out.filePath(u"Jan's exports"_s);
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + u"/Varnolt.csv"_s;
        QVERIFY(writeFile(path, QByteArray(5000, 'x')) && ::chmod(QFile::encodeName(path).constData(), 0640) == 0);

        CsvExport csv(l.db.path());
        QCOMPARE(csv.exportTo(ExportTarget::resolve(path), 1, l.out.filePath(u"fallback.csv"_s)),
            CsvExport::Outcome::Written);
        QCOMPARE(fileContents(path), PerWeek);
        QCOMPARE(modeOf(path), 0640);
        QCOMPARE(csv.usedPath(), path);
        QCOMPARE(exportFolderRows(l.db), QStringList {path});
        QCOMPARE(entries(folder), QStringList {u"Varnolt.csv"_s});
        QCOMPARE(entries(l.out.path()), QStringList {u"Jan's exports"_s});
    }

    void takesTheFallback_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("leftInFolder");
        const QStringList fallbackOnly {u"fallback"_s};
        QTest::newRow("a folder as the path") << u"Varnolt.csv"_s << QStringList {u"Varnolt.csv"_s, u"fallback"_s};
        QTest::newRow("name too long") << QString(300, u'n') + u".csv"_s << fallbackOnly;
        QTest::newRow("no name") << QString() << fallbackOnly;
        QTest::newRow("a folder that takes no new file") << u"/proc/Varnolt.csv"_s << fallbackOnly;
    }

    // The fallback file is never replaced: the export takes the next free name beside it.
    void takesTheFallback()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, leftInFolder);
        Logged l;
        const QString fallbackFolder = l.out.filePath(u"fallback"_s);
        QVERIFY(QDir().mkdir(fallbackFolder));
        const QString fallback = fallbackFolder + u"/Varnolt.csv"_s;
        const QByteArray oldFallback = "old fallback file\r\n";
        QVERIFY(writeFile(fallback, oldFallback));
        // A link of the fallback's next name is no free name either, and is not followed.
        QVERIFY(QFile::link(l.out.filePath(u"elsewhere.csv"_s), fallbackFolder + u"/Varnolt (2).csv"_s));
        const QString written = fallbackFolder + u"/Varnolt (3).csv"_s;
        if (target == u"Varnolt.csv"_s)
            QVERIFY(QDir().mkdir(l.out.filePath(target)));
        const QString path = target.isEmpty() ? QString() : QDir(l.out.path()).absoluteFilePath(target);

        CsvExport csv(l.db.path());
        QCOMPARE(csv.exportTo(ExportTarget::resolve(path), 1, fallback), CsvExport::Outcome::WrittenToFallback);
        QCOMPARE(fileContents(written), PerWeek);
        QCOMPARE(modeOf(written), 0600); // a new file, whatever the umask
        QCOMPARE(fileContents(fallback), oldFallback);
        QCOMPARE(csv.usedPath(), written);
        QCOMPARE(exportFolderRows(l.db), QStringList {written});
        QCOMPARE(entries(l.out.path()), leftInFolder);
        QCOMPARE(entries(fallbackFolder), QStringList({u"Varnolt (2).csv"_s, u"Varnolt (3).csv"_s, u"Varnolt.csv"_s}));
    }

    void failsWhenNeitherFileCanBeMade()
    {
        Logged l;
        const QString fallback = l.out.filePath(u"gone/Varnolt.csv"_s);
        CsvExport csv(l.db.path());
        QCOMPARE(csv.exportTo(ExportTarget::resolve(l.out.filePath(u"missing/Varnolt.csv"_s)), 0, fallback),
            CsvExport::Outcome::Failed);
        QCOMPARE(csv.usedPath(), fallback);
        QVERIFY(csv.errorString().contains(fallback));
        QVERIFY(exportFolderRows(l.db).isEmpty());
        QVERIFY(entries(l.out.path()).isEmpty());
    }

    void refusesWhatIsNotTheUsers_data()
    {
        QTest::addColumn<QString>("theirs"); // the link, its file's folder or the file
        QTest::newRow("a link another user made") << u"link"_s;
        QTest::newRow("a link into another user's folder") << u"folder"_s;
        QTest::newRow("another user's file") << u"file"_s;
    }

    // A trap laid by another local user: refused before anything is written, no fallback taken.
    void refusesWhatIsNotTheUsers()
    {
        QFETCH(QString, theirs);
        if (::geteuid() != 0)
            QSKIP("files of another user can be made only as root");
        Logged l;
        const QString folder = l.out.filePath(u"theirs"_s);
        const QString file = folder + u"/traffic.csv"_s;
        QVERIFY(QDir().mkdir(folder) && writeFile(file, "a file of the folder\r\n"));
        const QString path = theirs == u"file"_s ? file : l.out.filePath(u"traffic.csv"_s);
        QVERIFY(path == file || QFile::link(file, path));
        const QString owned = theirs == u"link"_s ? path : theirs == u"folder"_s ? folder : file;
        QVERIFY(::lchown(QFile::encodeName(owned).constData(), 65534, 65534) == 0); // nobody
        const QMap<QString, QByteArray> before = folderSnapshot({l.out.path()});

        CsvExport csv(l.db.path());
        QCOMPARE(csv.exportTo(ExportTarget::resolve(path), 0, l.out.filePath(u"fallback.csv"_s)),
            CsvExport::Outcome::Failed);
        QVERIFY2(csv.errorString().contains(path), qPrintable(csv.errorString()));
        QCOMPARE(folderSnapshot({l.out.path()}), before);
        QVERIFY(exportFolderRows(l.db).isEmpty());
    }

    void nothingPlantedAfterTheCheckIsFollowed_data()
    {
        QTest::addColumn<bool>("fileBefore");
        QTest::addColumn<bool>("swapFolder");
        QTest::addColumn<CsvExport::Outcome>("outcome");
        QTest::newRow("the file agreed to swapped for a link") << true << false << CsvExport::Outcome::Failed;
        QTest::newRow("a link at the free name") << false << false << CsvExport::Outcome::WrittenToFallback;
        QTest::newRow("the folder swapped for a link") << true << true << CsvExport::Outcome::Failed;
    }

    // Between the check (and the user's yes) and the write, a link to the user's own files is
    // planted where the export goes: nothing changes but, where the name was taken, the
    // fallback file.
    void nothingPlantedAfterTheCheckIsFollowed()
    {
        QFETCH(bool, fileBefore);
        QFETCH(bool, swapFolder);
        QFETCH(CsvExport::Outcome, outcome);
        Logged l;
        const QString shared = l.out.filePath(u"shared"_s);
        const QString home = l.out.filePath(u"home"_s);
        QVERIFY(QDir().mkdir(shared) && QDir().mkdir(home));
        QVERIFY(writeFile(home + u"/traffic.csv"_s, "the user's own traffic.csv\r\n"));
        const QString path = shared + u"/traffic.csv"_s;
        if (fileBefore)
            QVERIFY(writeFile(path, Header));
        const ExportTarget target = ExportTarget::resolve(path);
        QCOMPARE(target.state, fileBefore ? ExportTarget::State::Exists : ExportTarget::State::Free);
        if (swapFolder) {
            QVERIFY(QDir().rename(shared, shared + u".old"_s));
            QVERIFY(QFile::link(home, shared));
        } else {
            QFile::remove(path);
            QVERIFY(QFile::link(home + u"/traffic.csv"_s, path));
        }
        const QMap<QString, QByteArray> before = folderSnapshot({l.out.path()});

        const QString fallback = l.out.filePath(u"fallback.csv"_s);
        CsvExport csv(l.db.path());
        QCOMPARE(csv.exportTo(target, 0, fallback), outcome);
        QMap<QString, QByteArray> after = folderSnapshot({l.out.path()});
        if (outcome == CsvExport::Outcome::WrittenToFallback)
            QCOMPARE(after.take(fallback).right(PerDay.size()), PerDay);
        QCOMPARE(after, before);
        QCOMPARE(
            exportFolderRows(l.db), outcome == CsvExport::Outcome::Failed ? QStringList() : QStringList {fallback});
    }

    // Another program holds the database: nothing is written, not even a part, and no temporary
    // file is left; in WAL mode (as the program runs) the lock keeps the path from being stored
    // but not the view from being read, and the file is written all the same.
    void lockedDatabase_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::newRow("rollback journal") << false;
        QTest::newRow("write-ahead log") << true;
    }

    void lockedDatabase()
    {
        QFETCH(bool, wal);
        Logged l;
        l.db.exec(u"insert into settings values ('ExportFolder', '/home/jan/old.csv')"_s);
        if (wal)
            l.db.exec(u"PRAGMA journal_mode=WAL"_s);
        const QString path = l.out.filePath(u"Varnolt.csv"_s);
        const QByteArray old = Header + "20261204,1.00,2.00,3.00\r\n";
        QVERIFY(writeFile(path, old));
        StoreSession holder(l.db.path());
        QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));

        CsvExport csv(l.db.path());
        QCOMPARE(csv.exportTo(ExportTarget::resolve(path), 3, l.out.filePath(u"fallback.csv"_s)),
            wal ? CsvExport::Outcome::Written : CsvExport::Outcome::Failed);
        holder.rollback();
        QVERIFY2(wal || csv.errorString().contains(u"locked"_s), qPrintable(csv.errorString()));
        QCOMPARE(csv.usedPath(), path);
        QCOMPARE(entries(l.out.path()), QStringList {u"Varnolt.csv"_s});
        QCOMPARE(fileContents(path), wal ? PerYear : old);
        QCOMPARE(exportFolderRows(l.db), QStringList {u"/home/jan/old.csv"_s});
    }

    // What the device took is the file's beginning, never anything else. The German locale
    // writes 1.234,56: the file must not. The running program's open row (400 MB down, 2 KB
    // up, 1.5 kB/s, for ten minutes) counts in the line of the day it began on, or in a line
    // of its own, newest first, where the log has none for its period: one total a period.
    void write_data()
    {
        QTest::addColumn<bool>("logged");
        QTest::addColumn<int>("view");
        QTest::addColumn<qint64>("budget"); // what the device takes before it is full
        QTest::addColumn<QDateTime>("openRow"); // its start; none: no open row
        QTest::addColumn<double>("openMB");
        QTest::addColumn<QByteArray>("expected"); // empty: the write fails
        const qint64 size = PerDay.size();
        const QDateTime none;
        const QDateTime monday(QDate(2026, 12, 7), QTime(9, 0));
        QTest::newRow("device full in the last line") << true << 0 << size - 3 << none << 0.0 << QByteArray();
        QTest::newRow("device takes exactly the file") << true << 0 << size << none << 0.0 << PerDay;
        QTest::newRow("no such view") << true << 4 << size << none << 400.0 << QByteArray();
        QTest::newRow("the open row in its day's line")
            << true << 0 << 2 * size << QDateTime(QDate(2026, 12, 5), QTime(18, 0)) << 400.0
            << QByteArray(PerDay).replace("20261205,1.23,1.00", "20261205,409601.23,3.00");
        QTest::newRow("open since before midnight: the old year's line")
            << true << 3 << 2 * size << QDateTime(QDate(2026, 12, 31), QTime(23, 55)) << 400.0
            << QByteArray(PerYear).replace("2026,5243905.73,14.04", "2026,5653505.73,16.04");
        QTest::newRow("a new week") << true << 1 << 2 * size << monday << 400.0
                                    << Header + "202650,409600.00,2.00,1.50\r\n" + PerWeek.mid(Header.size());
        QTest::newRow("empty log, a new day")
            << false << 0 << size << monday << 400.0 << Header + "20261207,409600.00,2.00,1.50\r\n";
        QTest::newRow("empty log, an open row with no traffic") << false << 3 << size << monday << 0.0 << Header;
    }

    void write()
    {
        QFETCH(bool, logged);
        QFETCH(int, view);
        QFETCH(qint64, budget);
        QFETCH(QDateTime, openRow);
        QFETCH(double, openMB);
        QFETCH(QByteArray, expected);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Logged l(logged);
        FullDevice device(budget);
        CsvExport csv(l.db.path());
        if (openRow.isValid()) {
            RunCounters run;
            run.rowStart = withOwnOffset(openRow);
            run.baseIn = 7000;
            run.curIn = run.baseIn + openMB * 1048576;
            run.curOut = openMB > 0 ? 2048 : 0;
            run.avgDown = 1.5;
            csv.setOpenRow(run, openRow.addSecs(600));
        }
        QCOMPARE(csv.write(view, device), !expected.isEmpty());
        QCOMPARE(csv.errorString().isEmpty(), !expected.isEmpty());
        QCOMPARE(device.data(), expected.isEmpty() ? PerDay.left(device.data().size()) : expected);
    }
};

QTEST_GUILESS_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
