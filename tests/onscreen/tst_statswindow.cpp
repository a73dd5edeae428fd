// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "OnscreenRun.h"

#include "monitor/FrmMain.h"
#include "shell/TrayMenu.h"
#include "stats/FrmStats.h"
#include "stats/StatsChart.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <random>

using namespace Qt::StringLiterals;

// A helper's failure ends the test function as well.
#define STEP(call)                                                                                                     \
    do {                                                                                                               \
        call;                                                                                                          \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

namespace {

// The log's last day, in the evening.
const QDateTime Now(QDate(2026, 12, 5), QTime(20, 0));

// Four months of a household's traffic, a log row a day in whole MB: more at weekends and a
// bit more each month, a game downloaded, a backup sent on each month's first Sunday, and a
// week away in October with nothing.
QString householdLog()
{
    std::minstd_rand random(20261205); // the same log, and the same pictures, every run
    const auto between = [&random](int low, int high) { return low + int(random() % unsigned(high - low + 1)); };
    const int seconds = 4 * 3600;
    QStringList rows;
    for (QDate date(2026, 8, 3); date <= Now.date(); date = date.addDays(1)) {
        if (date >= QDate(2026, 10, 12) && date <= QDate(2026, 10, 18))
            continue;
        qint64 down = (date.dayOfWeek() >= 6 ? between(1500, 3200) : between(500, 1400))
            + (date.month() - 8) * between(60, 160) + (date == QDate(2026, 9, 15) ? 8200 : 0);
        const qint64 up
            = down * between(6, 18) / 100 + (date.day() <= 7 && date.dayOfWeek() == 7 ? between(1200, 2000) : 0);
        down *= 1048576;
        const QDateTime start(date, QTime(15, 0));
        rows << u"('%1', '%2', %3, %4, %5)"_s
                    .arg(start.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                        start.addSecs(seconds).toString(u"yyyy-MM-dd HH:mm:ss"_s))
                    .arg(up * 1048576)
                    .arg(down)
                    .arg(down / 1000.0 / seconds, 0, 'f', 3);
    }
    return u"insert into Log values "_s + rows.join(QLatin1Char(','));
}

// Fourteen months to Now of about 2 GB a day (more in winter), with an 80 GB monthly allowance.
QString cappedLog()
{
    std::minstd_rand random(20251001);
    QStringList rows;
    for (QDate date(2025, 10, 1); date <= Now.date(); date = date.addDays(1)) {
        const qint64 down = (1300 + (date.month() % 10 <= 2 ? 700 : 0) + int(random() % 1500u)) * qint64(1048576);
        rows
            << u"('%1 08:00:00', '%1 20:00:00', %2, %3, 100)"_s.arg(date.toString(Qt::ISODate)).arg(down / 9).arg(down);
    }
    return u"insert into Log values %1;insert into settings values ('maxmbsize', '81920'), ('logperiodtype', '2'), "
           "('logperiod', '0'), ('logstartday', '1')"_s.arg(rows.join(u','));
}

// The window's own size as the X server holds it.
QSize sizeOnScreen(const QWidget &window)
{
    xcb_connection_t *x = DesktopScreen::connection();
    const DesktopScreen::Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(x, xcb_get_geometry(x, xcb_window_t(window.winId())), nullptr));
    return geometry ? QSize(geometry->width, geometry->height) : QSize();
}

// What the screen shows of a control, from the window's place that the X server holds.
QImage shown(const QWidget &control)
{
    return DesktopScreen::pixels().copy(QRect(DesktopInput::onScreen(control, QPoint(0, 0)), control.size()));
}

// Counts the paint events a widget is sent.
struct PaintCount : QObject
{
    explicit PaintCount(QWidget &widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int count = 0;
};

} // namespace

// The statistics window of the real program, opened from its icon in a real tray (trayer)
// under a real window manager (openbox), on a log of a few months, and worked with real
// clicks (xdotool); what it shows is read from the screen.
class TestStatsWindow : public QObject, private OnscreenRun
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { stopApp(); }
    void chartWindowThroughTheTray();
    void allowanceLightAndDark();

private:
    FrmStats &window() const { return *m_app->stats(); }
    // Waits for the window to be open: shown, framed once by the window manager, active, and
    // on the screen as it paints itself, chart and all.
    void waitForOpen();
    void doubleClickIcon() { m_tray.click(m_app->trayIcon()->icon(), u"--repeat 2 --delay 60 1"_s); }
    // Opens the list and clicks the entry; the chart on the screen must then change.
    void choose(QComboBox &list, const QString &entry);
    // Off the window, where the pointer lights no button up and shows no value's tip.
    static void restMouse() { DesktopInput::xdotool({u"mousemove"_s, u"0"_s, u"0"_s}); }
    // With VARNOLT_SCREENSHOTS set, the window in its frame, for the README.
    void picture(const QString &name) const
    {
        DesktopScreen::screenshot(name, DesktopScreen::outerFrame(window()).adjusted(-8, -8, 8, 8));
    }
    // Waits until the chart on the screen differs from before, and has settled.
    void waitForChange(const QImage &before, const char *what);
    // Waits until the chart or the list is drawn to the end.
    static void waitForSettled(QAbstractScrollArea &area);

    QString m_log;
    FakeClock m_clock {Now};
};

void TestStatsWindow::initTestCase()
{
    startDesktop();
    m_log = householdLog();
}

void TestStatsWindow::init()
{
    QSettings(u"Varnolt"_s, u"Varnolt"_s).clear();
    m_db = std::make_unique<TestDatabase>();
    m_db->exec(m_log);
}

void TestStatsWindow::waitForOpen()
{
    QTRY_VERIFY(m_app->stats() && window().isVisible());
    QTRY_COMPARE(DesktopScreen::managedWindowsTitled(FrmStats::caption()), 1);
    QTRY_COMPARE(DesktopScreen::activeWindow(), quint32(window().winId()));
    QTRY_VERIFY(DesktopScreen::changedShare(shown(window()), window().grab().toImage()) < 0.01);
}

void TestStatsWindow::waitForSettled(QAbstractScrollArea &area)
{
    // A turn of the event loop without a paint, and the same picture on the screen before and after it.
    PaintCount painted(*area.viewport());
    const auto quiet = [&] {
        const int paints = painted.count;
        const QImage picture = shown(area);
        QTest::qWait(50);
        return painted.count == paints && shown(area) == picture;
    };
    QTRY_VERIFY(quiet());
}

void TestStatsWindow::waitForChange(const QImage &before, const char *what)
{
    QChartView &chart = *window().logChart;
    QTRY_VERIFY2(DesktopScreen::changedShare(before, shown(chart)) > 0.05, what);
    STEP(waitForSettled(chart));
    // Painted whole: painting the chart afresh changes nothing on the screen.
    const QImage drawn = shown(chart);
    PaintCount painted(*chart.viewport());
    chart.viewport()->update();
    QTRY_VERIFY(painted.count > 0);
    STEP(waitForSettled(chart));
    const double stale = DesktopScreen::changedShare(drawn, shown(chart));
    QVERIFY2(stale < 0.002,
        qPrintable(u"%1: a fresh paint changed %2 % of the chart"_s.arg(QLatin1String(what)).arg(stale * 100)));
}

void TestStatsWindow::choose(QComboBox &list, const QString &entry)
{
    const QImage before = shown(*window().logChart);
    const int index = list.findText(entry);
    DesktopInput::clickOn(list);
    QTRY_VERIFY(list.view()->isVisible());
    const QAbstractItemView &popup = *list.view();
    // The list is a window of its own, outside the window manager: Qt's place is the server's.
    // The item's row may reach past the narrow list's window: the click goes where both are.
    const QRect item = popup.visualRect(list.model()->index(index, 0));
    const QRect itemOnScreen(popup.viewport()->mapToGlobal(item.topLeft()), item.size());
    DesktopInput::click(itemOnScreen.intersected(popup.window()->geometry()).center());
    restMouse();
    QTRY_COMPARE(list.currentText(), entry);
    QTRY_VERIFY(!popup.isVisible());
    waitForChange(before, qPrintable(entry));
}

// Opened from the tray menu, each choice changes the chart on the screen; in 'Chart Window'
// mode a double-click on the icon opens the window and the next one closes it.
void TestStatsWindow::chartWindowThroughTheTray()
{
    m_db->exec(u"insert into settings values ('DblClick', '1')"_s);
    STEP(startApp(m_clock, FakeInterfaceTable::cards(1)));
    m_tray.chooseFromMenu(m_app->trayIcon()->icon(), m_app->trayMenu()->menu(), m_app->trayMenu()->showAll);
    STEP(waitForOpen());
    FrmStats &w = window();
    QVERIFY(DesktopScreen::outerFrame(w).height() > w.height()); // a title bar

    // The first opening, a 3D area chart of the last fifteen days.
    STEP(waitForSettled(*w.logChart));
    picture(u"stats-3d-area.png"_s);
    STEP(choose(*w.lstChrtLine, u"Bars"_s));
    STEP(choose(*w.lstChartPeriod, u"Avg Speed per Day (kBps)"_s));
    picture(u"stats-speed.png"_s);
    STEP(choose(*w.lstChartPeriod, u"Volume Per Week (GB)"_s));
    STEP(choose(*w.lst23d, u"2D"_s));
    const QImage flat = shown(*w.logChart);
    DesktopInput::clickOn(*w.chkStacked);
    restMouse();
    QTRY_VERIFY(w.chkStacked->isChecked());
    STEP(waitForChange(flat, "Stack"));
    picture(u"stats-2d-stacked-bars.png"_s);
    STEP(choose(*w.lstChartPeriod, u"Volume Per Day (MB)"_s));
    STEP(choose(*w.lstChrtLine, u"Line"_s));
    picture(u"stats-line.png"_s);

    // The report where the chart was, its text on the screen.
    const QImage chart = shown(*w.logChart);
    DesktopInput::clickOn(*w.bttReport);
    restMouse();
    QTRY_VERIFY(w.lstData->isVisible());
    QTRY_VERIFY(DesktopScreen::inkOf(DesktopScreen::pixels(), *w.lstData) > 500);
    STEP(waitForSettled(*w.lstData));
    picture(u"stats-report.png"_s);

    // Back to the same chart as before, and OK closes the window.
    DesktopInput::clickOn(*w.bttReport);
    restMouse();
    QTRY_VERIFY(w.logChart->isVisible());
    QTRY_VERIFY(DesktopScreen::changedShare(chart, shown(*w.logChart)) < 0.002);
    DesktopInput::clickOn(*w.cmdOK);
    QTRY_VERIFY(!m_app->stats());
    QTRY_COMPARE(DesktopScreen::managedWindowsTitled(FrmStats::caption()), 0);

    doubleClickIcon();
    STEP(waitForOpen());
    QVERIFY(!m_app->monitor()->isVisible());

    // The window manager resizes it, but not below its least size.
    const auto resizeTo = [this](int width, int height) {
        DesktopInput::xdotool(
            {u"windowsize"_s, QString::number(window().winId()), QString::number(width), QString::number(height)});
    };
    resizeTo(800, 600);
    QTRY_COMPARE(sizeOnScreen(window()), QSize(800, 600));
    resizeTo(300, 200);
    QTRY_COMPARE(sizeOnScreen(window()), QSize(FrmStats::MinimumWidth, FrmStats::MinimumHeight));

    doubleClickIcon();
    QTRY_VERIFY(!m_app->stats());
    QTRY_COMPARE(DesktopScreen::managedWindowsTitled(FrmStats::caption()), 0);
}

// The month view of a capped year and more: the allowance's line and the forecast on a light and a dark palette.
void TestStatsWindow::allowanceLightAndDark()
{
    m_db = std::make_unique<TestDatabase>();
    m_db->exec(cappedLog());
    QSettings(u"Varnolt"_s, u"Varnolt"_s).setValue(u"Chart/ChartType"_s, u"2"_s);
    STEP(startApp(m_clock, FakeInterfaceTable::cards(1)));
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(45, 45, 48), QColor(36, 36, 38)); // white text
    dark.setColor(QPalette::Base, QColor(28, 28, 30));
    m_app->openStats();
    STEP(waitForOpen());
    QTRY_VERIFY(window().logChart->allowanceLineY().has_value());
    for (const auto &[name, palette] : {std::pair {u"light"_s, light}, {u"dark"_s, dark}}) {
        QApplication::setPalette(palette);
        QTRY_COMPARE(window().logChart->chart()->backgroundBrush().color(), palette.color(QPalette::Base));
        STEP(waitForSettled(*window().logChart));
        picture(u"stats-cap-%1.png"_s.arg(name));
    }
    QApplication::setPalette(light);
}

QTEST_MAIN(TestStatsWindow)
#include "tst_statswindow.moc"
