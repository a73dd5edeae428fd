#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "shell/MessageBox.h"
#include "shell/TrayIcon.h"
#include "shell/TrayMenu.h"
#include "shell/VarnoltApp.h"
#include "stats/FrmStats.h"
#include "stats/StatsChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

// The program on a log of a few days and weeks, with its statistics window opened.
struct Run
{
    Run()
    {
        // Two days of December and a day of November, 2026.
        db.exec(QStringLiteral("insert into log values "
                               "('2026-11-20 10:00:00', '2026-11-20 11:00:00', 1048576, 3145728, 20.0),"
                               "('2026-12-03 10:00:00', '2026-12-03 11:00:00', 2097152, 5242880, 40.0),"
                               "('2026-12-05 10:00:00', '2026-12-05 11:00:00', 1048576, 1048576, 10.0)"));
        auto table = std::make_unique<FakeInterfaceTable>();
        table->rows = FakeInterfaceTable::cards(1);
        app = std::make_unique<VarnoltApp>(db.path(), QStringList {}, clock, std::move(table));
        if (!app->start())
            qFatal("the program did not start");
        QTest::qWait(0);
    }
    ~Run() { app->shutdown(); }

    FrmStats &open()
    {
        app->openStats();
        return *app->stats();
    }

    TestDatabase db;
    FakeClock clock {QDateTime(QDate(2026, 12, 5), QTime(18, 0))};
    std::unique_ptr<VarnoltApp> app;
};

QStringList headers(const QTreeWidget *list)
{
    QStringList texts;
    for (int column = 0; column < list->columnCount(); ++column)
        texts << list->headerItem()->text(column);
    return texts;
}

// Pixels of the chart under the buttons that lie over its lower right corner: the chart is
// drawn alone, without them, and compared with its bare background.
int chartUnderButtons(FrmStats &w)
{
    const QImage chart = w.logChart->grab().toImage();
    const QRect covered
        = QRect(w.bttReport->geometry().topLeft(), w.cmdOK->geometry().bottomRight()).translated(-w.logChart->pos());
    const QRgb background = chart.pixel(1, 1);
    int drawn = 0;
    for (int y = covered.top(); y <= covered.bottom(); ++y) {
        for (int x = covered.left(); x <= covered.right(); ++x)
            drawn += chart.pixel(x, y) != background ? 1 : 0;
    }
    return drawn;
}

} // namespace

// The statistics window on the running program, offscreen: its choices and what they keep,
// the report, the layout and the way to the export.
class TestFrmStats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        QSettings(QStringLiteral("Varnolt"), QStringLiteral("Varnolt")).clear();
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::takeShown();
    }

    void firstOpeningAndWhatOkKeeps();
    void stackingFollowsTheKindAndTheView();
    void reportListsWhatTheChartHolds();
    void emptyViewsAndDatabaseFailures();
    void layoutFollowsTheRightEdge();
    void exportLabelBlinksForFourSeconds();
    void trayDoubleClickOpensAndClosesInChartMode();

private:
    QTemporaryDir m_config;
};

void TestFrmStats::firstOpeningAndWhatOkKeeps()
{
    Run run;
    FrmStats &w = run.open();
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnolt, Keeps an eye on your downloads..."));
    QCOMPARE(w.lst23d->currentText(), QStringLiteral("3D"));
    QCOMPARE(w.lstChrtLine->currentText(), QStringLiteral("Area"));
    QCOMPARE(w.lstChartPeriod->currentText(), QStringLiteral("Volume Per Day (MB)"));
    QVERIFY(!w.chkStacked->isChecked() && w.chkStacked->isVisible());
    QCOMPARE(w.grid().seriesCount(), 3);
    QCOMPARE(w.grid().seriesLabel(2), QStringLiteral("Total"));

    w.lst23d->setCurrentIndex(1);
    w.lstChrtLine->setCurrentIndex(2);
    w.lstChartPeriod->setCurrentIndex(2);
    QTest::mouseClick(w.chkStacked, Qt::LeftButton);
    QCOMPARE(w.grid().seriesCount(), 2);
    QSignalSpy closed(&w, &FrmStats::closed);
    QTest::mouseClick(w.cmdOK, Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QTRY_VERIFY(!run.app->stats()); // gone with its grid

    QSettings kept(QStringLiteral("Varnolt"), QStringLiteral("Varnolt"));
    kept.beginGroup(QStringLiteral("Chart"));
    for (const auto &[key, value] : QList<QPair<QString, QString>> {{QStringLiteral("2D3D"), QStringLiteral("1")},
             {QStringLiteral("ChartLine"), QStringLiteral("2")}, {QStringLiteral("ChartType"), QStringLiteral("2")},
             {QStringLiteral("Stacked"), QStringLiteral("1")}})
        QCOMPARE(kept.value(key).toString(), value);

    FrmStats &again = run.open();
    QCOMPARE(again.lst23d->currentText(), QStringLiteral("2D"));
    QCOMPARE(again.lstChrtLine->currentText(), QStringLiteral("Bars"));
    QCOMPARE(again.lstChartPeriod->currentText(), QStringLiteral("Volume Per Month (GB)"));
    QVERIFY(again.chkStacked->isChecked());
    // Any other way of closing keeps nothing.
    again.lst23d->setCurrentIndex(0);
    again.close();
    QCOMPARE(kept.value(QStringLiteral("2D3D")).toString(), QStringLiteral("1"));

    // Choices the lists cannot show give the defaults.
    kept.setValue(QStringLiteral("2D3D"), QStringLiteral("7"));
    kept.setValue(QStringLiteral("ChartType"), QStringLiteral("abc"));
    kept.sync();
    QTRY_VERIFY(!run.app->stats());
    FrmStats &defaults = run.open();
    QCOMPARE(defaults.lst23d->currentIndex(), 0);
    QCOMPARE(defaults.lstChartPeriod->currentIndex(), 0);
}

void TestFrmStats::stackingFollowsTheKindAndTheView()
{
    Run run;
    FrmStats &w = run.open();
    w.lstChrtLine->setCurrentIndex(2); // Bars
    QTest::mouseClick(w.chkStacked, Qt::LeftButton);
    QCOMPARE(w.grid().seriesCount(), 2);

    w.lstChrtLine->setCurrentIndex(1); // Line: nothing to stack
    QVERIFY(!w.chkStacked->isChecked() && !w.chkStacked->isVisible() && !w.lblStack->isVisible());
    QCOMPARE(w.grid().seriesCount(), 3);
    w.lstChrtLine->setCurrentIndex(2);
    QVERIFY(!w.chkStacked->isChecked() && w.chkStacked->isVisible() && w.lblStack->isVisible());

    QTest::mouseClick(w.chkStacked, Qt::LeftButton);
    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerWeek);
    QVERIFY(!w.chkStacked->isChecked() && !w.chkStacked->isVisible());
    QCOMPARE(w.grid().seriesCount(), 1);
    QCOMPARE(w.grid().seriesLabel(0), QStringLiteral("Avg Down"));
}

void TestFrmStats::reportListsWhatTheChartHolds()
{
    Run run;
    FrmStats &w = run.open();
    w.lstChrtLine->setCurrentIndex(2);
    QTest::mouseClick(w.chkStacked, Qt::LeftButton);
    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    QVERIFY(w.isReportShown() && !w.logChart->isVisible());
    QVERIFY(!w.chkStacked->isChecked());
    QCOMPARE(w.bttReport->text(), QStringLiteral("G&raph"));
    QVERIFY(w.bttExport->isVisible() && !w.lst23d->isVisible() && w.lstChartPeriod->isVisible());
    QCOMPARE(headers(w.lstData), (QStringList {QStringLiteral("Period"), QStringLiteral("Up"), QStringLiteral("Down"),
                                     QStringLiteral("Total")}));
    // Days from the 3rd to today, the 5th, in MB; the 4th logged nothing.
    QCOMPARE(w.lstData->topLevelItemCount(), 3);
    const QTreeWidgetItem *third = w.lstData->topLevelItem(0);
    QCOMPARE((QStringList {third->text(0), third->text(1), third->text(2), third->text(3)}),
        (QStringList {QStringLiteral("03/12"), QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("7")}));
    QCOMPARE(w.lstData->topLevelItem(1)->text(3), QStringLiteral("0"));

    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerDay);
    QCOMPARE(headers(w.lstData), (QStringList {QStringLiteral("Period"), QStringLiteral("Avg Down"), QString(), QString()}));
    QCOMPARE(w.lstData->topLevelItem(0)->text(1), QStringLiteral("40"));
    // Kbps chosen in the options while the window is open: the next fill shows the speeds in
    // kilobits; the entries keep the unit they were made with.
    run.app->settings().kilobitState = 1;
    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerWeek);
    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerDay);
    QCOMPARE(w.lstData->topLevelItem(0)->text(1), QStringLiteral("327.68"));
    QCOMPARE(w.lstChartPeriod->currentText(), QStringLiteral("Avg Speed per Day (kBps)"));

    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    QVERIFY(!w.isReportShown() && w.logChart->isVisible() && !w.bttExport->isVisible());
    QCOMPARE(w.bttReport->text(), QStringLiteral("&Report"));
    // Shown again on the way back, even for a speed view; its next fill hides it.
    QVERIFY(w.chkStacked->isVisible());
}

void TestFrmStats::emptyViewsAndDatabaseFailures()
{
    Run run;
    run.db.exec(QStringLiteral("delete from log"));
    FrmStats &w = run.open();
    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    w.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerYear);
    QCOMPARE(w.grid().rowCount(), 0);
    QCOMPARE(w.lstData->topLevelItemCount(), 0);
    QVERIFY(MessageBox::takeShown().isEmpty());

    run.db.exec(QStringLiteral("drop view DownloadPerWeek"));
    w.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerWeek);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.contains(QStringLiteral("DownloadPerWeek")), qPrintable(shown.first().text));
    // Still usable: the next choice fills again.
    w.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerMonth);
    QVERIFY(w.isEnabled() && w.updatesEnabled());
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestFrmStats::layoutFollowsTheRightEdge()
{
    Run run;
    FrmStats &w = run.open();
    QCOMPARE(w.minimumSize(), QSize(630, 475));
    w.resize(630, 475);
    QCOMPARE(w.twipGeometry(w.logChart), QRect(0, 600, 9450, 6325));
    QCOMPARE(w.twipGeometry(w.cmdOK).topLeft(), QPoint(7495, 5930));
    QCOMPARE(w.twipGeometry(w.bttReport).topLeft(), QPoint(7495, 5335));
    QCOMPARE(w.twipGeometry(w.lstChartPeriod).left(), 5095);
    QCOMPARE(w.twipGeometry(w.label1).left(), 4260);
    QCOMPARE(w.twipGeometry(w.bttExport).topLeft(), QPoint(6000, 5930));
    QTRY_COMPARE(chartUnderButtons(w), 0);
    w.resize(800, 600);
    QCOMPARE(w.twipGeometry(w.cmdOK).topLeft(), QPoint(12000 - 1455 - 500, 9000 - 495 - 700));
    QCOMPARE(w.twipGeometry(w.bttExport).left(), 6000);
    QTRY_COMPARE(chartUnderButtons(w), 0);
    w.lst23d->setCurrentIndex(1);
    w.lstChrtLine->setCurrentIndex(2);
    w.chkStacked->setChecked(true);
    QTRY_COMPARE(chartUnderButtons(w), 0);
    w.resize(300, 200);
    QCOMPARE(w.size(), QSize(630, 475));
}

void TestFrmStats::exportLabelBlinksForFourSeconds()
{
    Run run;
    FrmStats &w = run.open();
    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    QTest::mouseClick(w.bttExport, Qt::LeftButton);
    FrmOptions &options = *run.app->options();
    QVERIFY(options.isVisible());
    QLabel *label = options.lblExport2;
    const auto bold = [label] { return label->styleSheet().contains(QLatin1String("bold")); };
    QVERIFY(bold() && label->styleSheet().contains(QLatin1String("#ff0000")));
    QTRY_VERIFY_WITH_TIMEOUT(!bold(), 1500);
    QTRY_VERIFY_WITH_TIMEOUT(bold(), 1500);
    QTRY_VERIFY_WITH_TIMEOUT(label->styleSheet().contains(QLatin1String("#000000")), 3000);
    QVERIFY(!bold());
}

void TestFrmStats::trayDoubleClickOpensAndClosesInChartMode()
{
    Run run;
    run.app->settings().stepDblClickTo(Settings::ChartWindow);
    run.app->settings().confirmDblClick();
    QVERIFY(run.app->trayMenu()->showAll->isEnabled());
    const bool monitorShown = run.app->monitor()->isVisible();
    Q_EMIT run.app->trayIcon()->doubleClicked();
    QVERIFY(run.app->stats() && run.app->stats()->isVisible());
    QCOMPARE(run.app->monitor()->isVisible(), monitorShown);
    Q_EMIT run.app->trayIcon()->doubleClicked();
    QTRY_VERIFY(!run.app->stats());
}

QTEST_MAIN(TestFrmStats)
#include "tst_frmstats.moc"
