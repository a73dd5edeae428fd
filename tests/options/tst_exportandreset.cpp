// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderSnapshot.h"
#include "RunningProgram.h"
#include "WriteFile.h"

#include "core/Settings.h"
#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "desktop/DesktopServices.h"
#include "desktop/MessageBox.h"
#include "app/VarnoltApp.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// The program on a log of two months with the options dialog built, and a folder for files.
struct Run : RunningProgram
{
    Run()
        : RunningProgram(QDateTime(QDate(2026, 12, 5), QTime(18, 0)))
    {
        start({QStringLiteral("insert into log values "
                              "('2026-11-20 10:00:00', '2026-11-20 11:00:00', 1024, 3072, 2.5),"
                              "('2026-12-03 10:00:00', '2026-12-03 11:00:00', 104857600, 209715200, 40.0)"),
            QStringLiteral("insert into settings values ('whatsleft', '1'), ('maxmbsize', '1000'), "
                           "('logperiod', '1'), ('logperiodtype', '2'), ('Adapter0', 'eth0')")});
        options().buildControls();
    }

    FrmOptions &options() { return *app->options(); }
    QString file(const QString &name) const { return files.filePath(name); }
    QStringList storedExportFolder() const
    {
        return db.rows(QStringLiteral("select settingvalue from settings where settingname = 'ExportFolder'"));
    }

    QTemporaryDir files;
};

// The open row's 400 MB down and 1 MB up count in December, as the statistics window has them.
const QByteArray MonthFile = "Period,KBDown,KBUp,AvgSpeedkBps\r\n"
                             "202612,614400.00,103424.00,20.00\r\n" // the run's start marker averages in with 0
                             "202611,3.00,1.00,2.50\r\n";

} // namespace

// The export and reset buttons of the options dialog, with the user's answers given through
// the message box and folder seams.
class TestExportAndReset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The fallback file lies in the home folder: the test's own.
        qputenv("HOME", m_home.path().toUtf8());
    }
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::takeShown();
    }

    void exportReplacesOnlyTheFileAgreedTo();
    void browseNamesTheFileInTheChosenFolder();
    void resetEmptiesTheLogAndTheVolumeUsed();

private:
    QTemporaryDir m_home;
};

// Only the file the user agreed to changes, named as it is spelt, links resolved; the path is
// kept only once the file is complete. Which modes, names and neighbours survive, and what is
// refused, is the core test's; here what the dialog asks and shows.
void TestExportAndReset::exportReplacesOnlyTheFileAgreedTo()
{
    Run run;
    FrmOptions &d = run.options();
    d.cboChartType->setCurrentIndex(2); // per month
    run.waitForPoll();
    run.app->openRow().add(400 * 1048576ULL, 1048576);
    const QString folder = run.file(QStringLiteral("My Exports"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/Traffic.csv");
    const QStringList involved {run.files.path(), m_home.path()};
    const auto exportAnswering = [&](QMessageBox::StandardButton answer) {
        MessageBox::setNextAnswer(answer);
        QTest::mouseClick(d.bttExport, Qt::LeftButton);
        return MessageBox::takeShown();
    };

    d.txtCsvFile->setText(QStringLiteral("  ") + path + QStringLiteral(" "));
    QList<MessageBox::Shown> shown = exportAnswering(QMessageBox::Yes);
    QCOMPARE(shown.size(), 1); // no question: there was no file
    QCOMPARE(shown.first().title, QStringLiteral("Success!"));
    QVERIFY2(shown.first().text.contains(path), qPrintable(shown.first().text));
    QCOMPARE(fileContents(path), MonthFile);
    QCOMPARE(run.storedExportFolder(), QStringList {path});

    // The file exists now: No leaves every file alone and says nothing more.
    QVERIFY(writeFile(path, "the user's own notes"));
    QMap<QString, QByteArray> before = folderSnapshot(involved);
    shown = exportAnswering(QMessageBox::No);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Continue ?"));
    QCOMPARE(shown.first().text, path + QStringLiteral(" already exists !\r\nOverwrite ?"));
    QCOMPARE(folderSnapshot(involved), before);

    // A link to the user's own start-up file: the question names that file; after a yes only
    // that file changed, and the link is still the link.
    const QString bashrc = m_home.filePath(QStringLiteral(".Bashrc"));
    QVERIFY(writeFile(bashrc, "export PATH=$HOME/bin:$PATH\n"));
    const QString link = run.file(QStringLiteral("traffic.csv"));
    QVERIFY(QFile::link(bashrc, link));
    d.txtCsvFile->setText(link);
    before = folderSnapshot(involved);
    shown = exportAnswering(QMessageBox::Yes);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown.first().text.startsWith(bashrc + QStringLiteral(" already exists !\r\n")),
        qPrintable(shown.first().text));
    QVERIFY2(shown.last().text.contains(bashrc), qPrintable(shown.last().text));
    before.remove(bashrc);
    QMap<QString, QByteArray> after = folderSnapshot(involved);
    QCOMPARE(after.take(bashrc).right(MonthFile.size()), MonthFile);
    QCOMPARE(after, before);

    // Where no file can be made, the export goes to the home folder, and the dialog shows where.
    d.txtCsvFile->setText(run.file(QStringLiteral("missing/Varnolt.csv")));
    shown = exportAnswering(QMessageBox::Yes);
    const QString fallback = m_home.filePath(QStringLiteral("Varnolt.csv"));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().title == QStringLiteral("Success!") && shown.first().text.contains(fallback),
        qPrintable(shown.first().text));
    QCOMPARE(d.txtCsvFile->text(), fallback);
    QCOMPARE(run.storedExportFolder(), QStringList {fallback});

    // What fails, in the export (the view gone after the file was begun) or before it (a link
    // to no file is refused): one error box, no question, no file changed, the path kept.
    run.db.exec(QStringLiteral("drop view DownloadPerMonth"));
    const QString dangling = run.file(QStringLiteral("dangling.csv"));
    QVERIFY(QFile::link(run.file(QStringLiteral("gone.csv")), dangling));
    for (const QString &failing : {run.file(QStringLiteral("new.csv")), dangling}) {
        d.txtCsvFile->setText(failing);
        before = folderSnapshot(involved);
        shown = exportAnswering(QMessageBox::Yes);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Critical);
        QVERIFY2(shown.first().text.startsWith(QStringLiteral("Export Failed")), qPrintable(shown.first().text));
        QCOMPARE(folderSnapshot(involved), before);
        QCOMPARE(run.storedExportFolder(), QStringList {fallback});
    }
}

void TestExportAndReset::browseNamesTheFileInTheChosenFolder()
{
    Run run;
    FrmOptions &d = run.options();
    DesktopServices::setNextFolder(run.files.path());
    QTest::mouseClick(d.bttBrowse, Qt::LeftButton);
    QCOMPARE(d.txtCsvFile->text(), run.files.path() + QStringLiteral("/Varnolt.csv"));
    QCOMPARE(DesktopServices::takeBrowseTitles(),
        QStringList {QStringLiteral("Select the Directory where the CSV Files have to be saved.")});

    DesktopServices::setNextFolder(QString()); // cancelled
    QTest::mouseClick(d.bttBrowse, Qt::LeftButton);
    QCOMPARE(d.txtCsvFile->text(), QDir::homePath() + QStringLiteral("/Varnolt.csv"));
}

// The reset asks first and the volume left follows it. What a reset leaves in the log and the
// settings, also when it fails, is the core test's.
void TestExportAndReset::resetEmptiesTheLogAndTheVolumeUsed()
{
    Run run;
    FrmOptions &d = run.options();
    run.waitForPoll();
    // 300 MB of the 1000 used this month.
    QCOMPARE(run.app->monitor()->volumeLeftLabel()->text(), QStringLiteral("700 MB (70,0 %) Left."));

    MessageBox::setNextAnswer(QMessageBox::No);
    QTest::mouseClick(d.bttClear, Qt::LeftButton);
    QCOMPARE(MessageBox::takeShown().size(), 1); // the question alone
    QCOMPARE(run.db.rows(QStringLiteral("select count(*) from log")).value(0).toInt(), 3);

    MessageBox::setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(d.bttClear, Qt::LeftButton);
    QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.first().title, QStringLiteral("Are you sure ?"));
    QCOMPARE(shown.last().title, QStringLiteral("Success !"));
    // The volume left no longer counts the erased traffic.
    run.waitForPoll();
    QCOMPARE(run.app->monitor()->volumeLeftLabel()->text(), QStringLiteral("1000 MB (100,0 %) Left."));

    // A database another program holds: one error after the question.
    StoreSession holder(run.db.path());
    QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
    QTest::mouseClick(d.bttClear, Qt::LeftButton);
    shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.last().icon, QMessageBox::Critical);
    holder.rollback();
}

QTEST_MAIN(TestExportAndReset)
#include "tst_exportandreset.moc"
