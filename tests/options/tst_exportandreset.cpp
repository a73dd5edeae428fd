#include "RunningProgram.h"

#include "core/Settings.h"
#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "shell/DesktopServices.h"
#include "shell/MessageBox.h"
#include "shell/VarnoltApp.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QByteArray MonthFile = "Period,KBDown,KBUp,AvgSpeed\r\n"
                             "202612,204800.00,102400.00,20.00\r\n" // the run's start marker averages in with 0
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

    void exportAsksBeforeReplacingAFile();
    void browseNamesTheFileInTheChosenFolder();
    void resetEmptiesTheLogAndTheVolumeUsed();
    void resetOnALockedDatabaseSaysSoOnce();

private:
    QTemporaryDir m_home;
};

void TestExportAndReset::exportAsksBeforeReplacingAFile()
{
    Run run;
    FrmOptions &d = run.options();
    d.cboChartType->setCurrentIndex(2); // per month
    const QString path = run.file(QStringLiteral("traffic.csv"));
    d.txtCsvFile->setText(QStringLiteral("  ") + path + QStringLiteral(" "));
    QTest::mouseClick(d.bttExport, Qt::LeftButton);
    QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1); // no question: there was no file
    QCOMPARE(shown.first().title, QStringLiteral("Success!"));
    QCOMPARE(shown.first().text, QStringLiteral("Export Succeeded !"));
    QCOMPARE(contents(path), MonthFile);
    QCOMPARE(run.storedExportFolder(), QStringList {path});

    // The file exists now: No leaves it alone and says nothing more.
    QVERIFY(writeFile(path, "the user's own notes"));
    MessageBox::setNextAnswer(QMessageBox::No);
    QTest::mouseClick(d.bttExport, Qt::LeftButton);
    shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Continue ?"));
    QCOMPARE(shown.first().text, path.toUpper() + QStringLiteral(" already exists !\r\nOverwrite ?"));
    QCOMPARE(contents(path), QByteArray("the user's own notes"));

    MessageBox::setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(d.bttExport, Qt::LeftButton);
    QCOMPARE(MessageBox::takeShown().size(), 2);
    QCOMPARE(contents(path), MonthFile);

    // A folder is no file to replace: no question, and the export goes to the fallback.
    d.txtCsvFile->setText(run.files.path());
    QTest::mouseClick(d.bttExport, Qt::LeftButton);
    shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Success!"));
    QCOMPARE(d.txtCsvFile->text(), FrmOptions::fallbackExportPath());
    QCOMPARE(run.storedExportFolder(), QStringList {FrmOptions::fallbackExportPath()});
    QVERIFY(FrmOptions::fallbackExportPath().startsWith(m_home.path()));
    QCOMPARE(contents(FrmOptions::fallbackExportPath()), MonthFile);
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
    // Browsing stores nothing.
    QVERIFY(run.storedExportFolder().isEmpty());

    DesktopServices::setNextFolder(QString()); // cancelled
    QTest::mouseClick(d.bttBrowse, Qt::LeftButton);
    QCOMPARE(d.txtCsvFile->text(), QDir::homePath() + QStringLiteral("/Varnolt.csv"));
}

void TestExportAndReset::resetEmptiesTheLogAndTheVolumeUsed()
{
    Run run;
    FrmOptions &d = run.options();
    run.waitForPoll();
    // 300 MB of the 1000 used this month.
    QCOMPARE(run.app->monitor()->volumeLeftLabel()->text(), QStringLiteral("700 MB (70,0 %) Left."));
    const QStringList settingsBefore = run.db.rows(QStringLiteral("select * from settings order by rowid"));

    MessageBox::setNextAnswer(QMessageBox::No);
    QTest::mouseClick(d.bttClear, Qt::LeftButton);
    QCOMPARE(MessageBox::takeShown().size(), 1); // the question alone
    QCOMPARE(run.db.rows(QStringLiteral("select count(*) from log")).value(0).toInt(), 3);

    for (int time = 0; time < 2; ++time) {
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(d.bttClear, Qt::LeftButton);
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.first().title, QStringLiteral("Are you sure ?"));
        QCOMPARE(shown.first().text, QStringLiteral("All DATA will be erased !!!!\r\nAre you sure ?"));
        QCOMPARE(shown.last().title, QStringLiteral("Success !"));
        QCOMPARE(shown.last().text, QStringLiteral("Cleared Database !"));
        QCOMPARE(run.db.rows(QStringLiteral("select * from log")),
            QStringList {QStringLiteral("2026-12-05 18:00:00|2026-12-05 18:00:00|0|0|0")});
    }
    QCOMPARE(run.db.rows(QStringLiteral("select * from settings order by rowid")), settingsBefore);
    // The volume left no longer counts the erased traffic.
    run.waitForPoll();
    QCOMPARE(run.app->monitor()->volumeLeftLabel()->text(), QStringLiteral("1000 MB (100,0 %) Left."));
}

void TestExportAndReset::resetOnALockedDatabaseSaysSoOnce()
{
    Run run;
    StoreSession holder(run.db.path());
    QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
    QTest::mouseClick(run.options().bttClear, Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.last().icon, QMessageBox::Critical);
    QCOMPARE(shown.last().title, QStringLiteral("Error."));
    QCOMPARE(shown.last().text, QStringLiteral("Cleanup failed !"));
    holder.rollback();
    QCOMPARE(run.db.rows(QStringLiteral("select count(*) from log")).value(0).toInt(), 3);
}

QTEST_MAIN(TestExportAndReset)
#include "tst_exportandreset.moc"
