// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunningProgram.h"

#include "app/VarnoltApp.h"
#include "desktop/MessageBox.h"
#include "options/FrmOptions.h"
#include "stats/FrmStats.h"
#include "stats/StatsChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The program on a log of a few days and weeks, with its statistics window opened.
struct Run : RunningProgram
{
    explicit Run(const QString &settings = {})
        : RunningProgram(QDateTime(QDate(2026, 12, 5), QTime(18, 0)))
    {
        start({u"insert into log values "
               u"('2026-11-20 10:00:00', '2026-11-20 11:00:00', 1048576, 3145728, 20.0),"
               u"('2026-12-03 10:00:00', '2026-12-03 11:00:00', 2097152, 5242880, 40.0),"
               u"('2026-12-05 10:00:00', '2026-12-05 11:00:00', 1048576, 1048576, 10.0)"_s,
            settings.isEmpty() ? u"select 1"_s : settings});
    }

    FrmStats &open()
    {
        app->openStats();
        return *app->stats();
    }
};

// The window's lists and stacking box as the user reads them.
QStringList choices(const FrmStats &w)
{
    return {w.lst23d->currentText(), w.lstChrtLine->currentText(), w.lstChartPeriod->currentText(),
        w.chkStacked->isChecked() ? u"stacked"_s : u"flat"_s};
}

// The texts of the report's row, or of its header.
QStringList texts(const QTreeWidgetItem *item)
{
    return {item->text(0), item->text(1), item->text(2), item->text(3)};
}

// Pixels of the chart, drawn alone, that differ from its background under the buttons over its lower right corner.
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

// The statistics window on the running program, offscreen.
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
        QSettings(u"Varnolt"_s, u"Varnolt"_s).clear();
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::takeShown();
    }

    void choicesKeptAndLayout();
    void stackingReportAndFailures();
    void forecastIsTheReports_data();
    void forecastIsTheReports();
    void listPagesAndReset();

private:
    QTemporaryDir m_config;
};

void TestFrmStats::choicesKeptAndLayout()
{
    Run run;
    FrmStats &w = run.open();
    QCOMPARE(choices(w), (QStringList {u"3D"_s, u"Area"_s, u"Volume Per Day (MB)"_s, u"flat"_s}));
    QVERIFY(w.chkStacked->isVisible());

    w.lst23d->setCurrentIndex(1);
    w.lstChrtLine->setCurrentIndex(2);
    w.lstChartPeriod->setCurrentIndex(2);
    QTest::mouseClick(w.chkStacked, Qt::LeftButton);
    QSignalSpy closed(&w, &FrmStats::closed);
    QTest::mouseClick(w.cmdOK, Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QTRY_VERIFY(!run.app->stats()); // gone with its grid

    QSettings kept(u"Varnolt"_s, u"Varnolt"_s);
    kept.beginGroup(u"Chart"_s);
    QStringList keptValues;
    for (const char *key : {"2D3D", "ChartLine", "ChartType", "Stacked"})
        keptValues << kept.value(QLatin1String(key)).toString();
    QCOMPARE(keptValues, (QStringList {u"1"_s, u"2"_s, u"2"_s, u"1"_s}));

    FrmStats &again = run.open();
    QCOMPARE(choices(again), (QStringList {u"2D"_s, u"Bars"_s, u"Volume Per Month (GB)"_s, u"stacked"_s}));
    // Any other way of closing keeps nothing.
    again.lst23d->setCurrentIndex(0);
    again.close();
    QCOMPARE(kept.value(u"2D3D"_s).toString(), u"1"_s);

    // Choices the lists cannot show give the defaults.
    kept.setValue(u"2D3D"_s, u"7"_s);
    kept.setValue(u"ChartType"_s, u"abc"_s);
    kept.sync();
    QTRY_VERIFY(!run.app->stats());
    FrmStats &last = run.open();
    QCOMPARE(last.lst23d->currentIndex(), 0);
    QCOMPARE(last.lstChartPeriod->currentIndex(), 0);

    // OK keeps its distance from the lower right corner, Report above it; neither hides the chart.
    const auto corner = [&last] { return QPoint(last.width(), last.height()) - last.cmdOK->geometry().bottomRight(); };
    last.resize(630, 475);
    const QPoint smallest = corner();
    QTRY_COMPARE(chartUnderButtons(last), 0);
    last.resize(800, 600);
    QVERIFY((corner() - smallest).manhattanLength() <= 2); // a pixel of rounding each way
    QVERIFY(last.bttReport->geometry().bottom() < last.cmdOK->geometry().top());
    QTRY_COMPARE(chartUnderButtons(last), 0);
    last.lst23d->setCurrentIndex(1);
    last.lstChrtLine->setCurrentIndex(2);
    last.chkStacked->setChecked(true);
    QTRY_COMPARE(chartUnderButtons(last), 0);
}

// Stacking is offered only where there is something to stack; the report lists what the chart holds, every
// series of it; an empty view is no failure, a failing one is reported and the window stays usable.
void TestFrmStats::stackingReportAndFailures()
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

    w.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerDay);
    QTest::mouseClick(w.chkStacked, Qt::LeftButton);
    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    QVERIFY(w.isReportShown() && !w.logChart->isVisible());
    QVERIFY(!w.chkStacked->isChecked());
    QCOMPARE(w.bttReport->text(), u"G&raph"_s);
    QVERIFY(w.bttExport->isVisible() && !w.lst23d->isVisible() && w.lstChartPeriod->isVisible());
    QCOMPARE(
        texts(w.lstData->headerItem()), (QStringList {u"Period"_s, u"Up (MB)"_s, u"Down (MB)"_s, u"Total (MB)"_s}));
    QVERIFY(!w.lstData->horizontalScrollBar()->isVisible()); // Total in sight

    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerDay);
    QCOMPARE(texts(w.lstData->headerItem()), (QStringList {u"Period"_s, u"Avg Down (kBps)"_s, QString(), QString()}));
    QCOMPARE(w.lstData->topLevelItem(0)->text(1), u"40.00"_s);
    QCOMPARE(w.lstData->topLevelItemCount(), 3); // averages do not add up: no total
    // Kbps chosen in the options meanwhile: the next fill shows kilobits; entries keep the unit they were made with.
    run.app->settings().kilobitState = 1;
    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerWeek);
    w.lstChartPeriod->setCurrentIndex(StatsGrid::SpeedPerDay);
    QCOMPARE(w.lstData->topLevelItem(0)->text(1), u"327.68"_s);
    QCOMPARE(w.lstChartPeriod->currentText(), u"Avg Speed per Day (kBps)"_s);

    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    QVERIFY(!w.isReportShown() && w.logChart->isVisible() && !w.bttExport->isVisible());
    QCOMPARE(w.bttReport->text(), u"&Report"_s);
    // Shown again on the way back, even for a speed view; its next fill hides it.
    QVERIFY(w.chkStacked->isVisible());
    // Opened again, the window's entries carry the unit now chosen.
    w.close();
    QTRY_VERIFY(!run.app->stats());
    FrmStats &again = run.open();
    QCOMPARE(again.lstChartPeriod->itemText(StatsGrid::SpeedPerWeek), u"Avg Speed per Week (Kbps)"_s);

    run.db.exec(u"delete from log"_s);
    QTest::mouseClick(again.bttReport, Qt::LeftButton);
    again.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerYear);
    QCOMPARE(again.lstData->topLevelItemCount(), 0);
    QVERIFY(MessageBox::takeShown().isEmpty());
    run.db.exec(u"drop view DownloadPerWeek"_s);
    again.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerWeek);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().text.contains(u"DownloadPerWeek"_s), qPrintable(shown.first().text));
    again.lstChartPeriod->setCurrentIndex(StatsGrid::VolumePerMonth);
    QVERIFY(again.isEnabled() && again.updatesEnabled());
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestFrmStats::forecastIsTheReports_data()
{
    QTest::addColumn<QString>("allowanceMB");
    QTest::addColumn<QString>("seen"); // in the window's line under the chart
    // 9 MB logged in December by the 5th, 18:00, 7 MB of them on the 3rd; 30 November lies before the window.
    QTest::newRow("runs out") << u"12"_s << u"runs out on 7 Dec"_s;
    QTest::newRow("ran out") << u"7"_s << u"Ran out on 3 Dec"_s;
}

// The month view's forecast is what `varnolt-report status --json` says on the same database at the same time.
void TestFrmStats::forecastIsTheReports()
{
    QFETCH(QString, allowanceMB);
    QFETCH(QString, seen);
    Run run(
        u"insert into settings values ('maxmbsize', '%1'), ('logperiodtype', '2'), ('logperiod', '0'), "
        "('logstartday', '1');insert into log values ('2026-11-30 10:00:00', '2026-11-30 11:00:00', 0, 8388608, 1)"_s
            .arg(allowanceMB));
    QSettings(u"Varnolt"_s, u"Varnolt"_s).setValue(u"Chart/ChartType"_s, u"2"_s);
    FrmStats &w = run.open();
    QVERIFY(w.allowanceStatus());
    const AllowanceStatus &window = *w.allowanceStatus();
    QVERIFY2(w.logChart->allowance().forecast.contains(seen), qPrintable(w.logChart->allowance().forecast));

    QProcess report;
    // libfaketime is preloaded before a sanitizer build's runtime, which would refuse to start.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString asan = environment.value(u"ASAN_OPTIONS"_s);
    environment.insert(u"ASAN_OPTIONS"_s, (asan.isEmpty() ? asan : asan + u':') + u"verify_asan_link_order=0"_s);
    // The library itself rather than the faketime wrapper, whose semaphore, named after its
    // process id, clashes with one a killed run left behind.
    environment.insert(u"LD_PRELOAD"_s, u"/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"_s);
    environment.insert(u"FAKETIME"_s, run.clock.now().toString(u"yyyy-MM-dd HH:mm:ss"_s));
    report.setProcessEnvironment(environment);
    report.start(QCoreApplication::applicationDirPath() + u"/varnolt-report"_s,
        {u"status"_s, u"--json"_s, u"--database"_s, run.db.path()});
    QVERIFY2(report.waitForFinished(30000) && report.exitCode() == 0, report.readAllStandardError().constData());
    const QJsonObject json = QJsonDocument::fromJson(report.readAllStandardOutput()).object();
    const QJsonObject f = json[u"forecast"_s].toObject();
    QCOMPARE((QList<double> {json[u"used_mb"_s].toDouble(), f[u"pace_mb_per_day"_s].toDouble(),
                 f[u"expected_at_end_mb"_s].toDouble()}),
        (QList<double> {window.usedMB, window.forecast.paceMBPerDay, window.forecast.expectedAtEndMB}));
    QCOMPARE(f[u"runs_out"_s].toString().left(19) + f[u"ran_out"_s].toString(),
        window.forecast.runsOut.toString(Qt::ISODate) + window.ranOut.toString(Qt::ISODate));
}

// The report reads as a table: numbers right-aligned with two decimals, the volumes' total row bold ("*") and the
// sum of its column. "<" and ">" page through whole periods; "Clear Database" refills the window at its newest page.
void TestFrmStats::listPagesAndReset()
{
    Run run;
    FrmStats &w = run.open();
    QTest::mouseClick(w.bttReport, Qt::LeftButton);
    const auto list = [&w] {
        QStringList rows;
        for (int row = 0; row < w.lstData->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = w.lstData->topLevelItem(row);
            rows << texts(item).join(u'|') + (item->font(1).bold() ? u"*"_s : QString());
            for (int column = 1; column < 4; ++column)
                rows.last() += item->textAlignment(column) == int(Qt::AlignRight | Qt::AlignVCenter) ? u""_s : u"<"_s;
        }
        return rows.join(u", "_s);
    };
    QCOMPARE(list(), u"03/12|2.00|5.00|7.00, 04/12|0.00|0.00|0.00, 05/12|1.00|1.00|2.00, Total|3.00|6.00|9.00*"_s);
    QVERIFY(w.bttOlder->isEnabled() && !w.bttNewer->isEnabled());
    QTest::mouseClick(w.bttOlder, Qt::LeftButton); // 6 to 20 November: the log begins on the 20th
    QCOMPARE(list(), u"20/11|1.00|3.00|4.00, Total|1.00|3.00|4.00*"_s);
    QVERIFY(!w.bttOlder->isEnabled() && w.bttNewer->isEnabled());

    run.app->options()->buildControls();
    MessageBox::setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(run.app->options()->bttClear, Qt::LeftButton);
    QCOMPARE(list(), u"05/12|0.00|0.00|0.00, Total|0.00|0.00|0.00*"_s); // the reset's start row, today
}

QTEST_MAIN(TestFrmStats)
#include "tst_frmstats.moc"
