// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/Settings.h"
#include "core/traffic/AllowanceStatus.h"
#include "core/traffic/RunCounters.h"
#include "stats/ChartAllowance.h"
#include "stats/StatsChart.h"
#include "stats/StatsGrid.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QSet>
#include <QStackedBarSeries>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr double MiB = 1024.0 * 1024;
const QDateTime Now(QDate(2026, 12, 6), QTime(17, 29, 47));

// Fifteen days up to today (22/11 to 06/12) in MB; 25/11 has no traffic and so no log row.
const QList<double> DayUp {64, 92, 48, 0, 150, 212, 88, 71, 130, 40, 175, 96, 58, 143, 80};
const QList<double> DayDown {420, 610, 385, 0, 955, 1234.5, 730, 560, 842, 310, 1120, 690, 475, 980, 640};

struct Shown
{
    std::unique_ptr<StatsChart> chart;
    std::unique_ptr<StatsGrid> grid;
};

// What the chart paints, once its layout has settled.
QImage rendered(StatsChart &chart)
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    return chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of a series' hue clearly lighter or darker than it, a solid's shaded faces; smoothed edges lose the hue first.
int shadedPixels(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = QColor::fromRgb(line[x]);
            const int hue = std::abs(pixel.hsvHue() - colour.hsvHue());
            if (pixel.hsvHue() >= 0 && std::min(hue, 360 - hue) <= 8
                && pixel.hsvSaturation() >= colour.hsvSaturation() * 0.6
                && std::abs(pixel.value() - colour.value()) >= 35)
                ++count;
        }
    }
    return count;
}

QStringList legendLabels(const QChart &chart)
{
    QStringList labels;
    for (const QLegendMarker *marker : chart.legend()->markers())
        labels << marker->label();
    if (chart.legend()->reverseMarkers()) // to the order the user reads them in
        std::reverse(labels.begin(), labels.end());
    return labels;
}

} // namespace

class StatsChartTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void seriesPerKindAndDepth_data();
    void seriesPerKindAndDepth();
    void emptyGridShowsNote();
    void peakOverItsLabel();
    void allowanceLineAndProjection();

private:
    Shown show(StatsChart::Kind kind, bool threeD, bool stacked);
    static void hover(const Shown &shown, StatsChart::Kind kind, bool threeD, bool stacked, int series);

    TestDatabase m_db;
    FakeClock m_clock {Now};
};

void StatsChartTest::initTestCase()
{
    for (qsizetype day = 0; day < DayUp.size(); ++day) {
        if (DayUp[day] == 0 && DayDown[day] == 0)
            continue;
        const QString start = Now.date().addDays(day - 14).toString(u"yyyy-MM-dd 12:00:00"_s);
        m_db.exec(u"INSERT INTO Log VALUES('%1','%1',%2,%3,%4)"_s.arg(start)
                      .arg(DayUp[day] * MiB, 0, 'f', 0)
                      .arg(DayDown[day] * MiB, 0, 'f', 0)
                      .arg(DayDown[day] / 10));
    }
}

void StatsChartTest::cleanup()
{
    QLocale::setDefault(QLocale::c());
    QToolTip::hideText();
}

Shown StatsChartTest::show(StatsChart::Kind kind, bool threeD, bool stacked)
{
    Shown shown {std::make_unique<StatsChart>(), std::make_unique<StatsGrid>(m_clock)};
    if (shown.grid->fill(m_db.path(), StatsGrid::VolumePerDay, stacked, false, RunCounters {})
        != StatsGrid::Outcome::Filled)
        qFatal("the test's log gives no statistics: %s", qPrintable(shown.grid->errorString()));
    shown.chart->resize(620, 440);
    shown.chart->show();
    shown.chart->showGrid(*shown.grid, kind, threeD, stacked, u"MB"_s);
    rendered(*shown.chart);
    return shown;
}

void StatsChartTest::seriesPerKindAndDepth_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("stacked");
    QTest::addColumn<QStringList>("legend");
    QTest::addColumn<QString>("seriesType"); // every series' class, or the bar series' class
    QTest::addColumn<int>("series"); // the one whose tip is read on 27/11 (row 5)
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("tip");

    const QStringList three {u"Upload"_s, u"Download"_s, u"Total"_s};
    const QStringList two {u"Upload"_s, u"Download"_s};
    // 27/11: 212 MB up, 1234.5 MB down, 1446.5 MB in all.
    const QString down = u"27/11\nDownload: 1,234.500 MB"_s;
    QTest::newRow("areas") << int(StatsChart::Area) << false << three << u"QAreaSeries"_s << 0 << u"de_DE"_s
                           << u"27.11\nUpload: 212,000 MB"_s;
    QTest::newRow("stacked areas") << int(StatsChart::Area) << true << two << u"QAreaSeries"_s << 1 << u"de_DE"_s
                                   << u"27.11\nDownload: 1.234,500 MB"_s;
    QTest::newRow("lines") << int(StatsChart::Line) << false << three << u"QLineSeries"_s << 2 << u"en_US"_s
                           << u"27/11\nTotal: 1,446.500 MB"_s;
    QTest::newRow("bars") << int(StatsChart::Bars) << false << three << u"QBarSeries"_s << 1 << u"en_US"_s << down;
    QTest::newRow("stacked bars") << int(StatsChart::Bars) << true << two << u"QStackedBarSeries"_s << 1 << u"en_US"_s
                                  << down;
}

// Each kind's series, axes, legend and value tips, flat and in depth, where each solid shows faces the flat one lacks.
void StatsChartTest::seriesPerKindAndDepth()
{
    QFETCH(int, kind);
    QFETCH(bool, stacked);
    QFETCH(QStringList, legend);
    QFETCH(QString, seriesType);
    QFETCH(int, series);
    QFETCH(QString, locale);
    QFETCH(QString, tip);

    QLocale::setDefault(QLocale(locale));
    QList<QColor> flatColours;
    QList<int> flatShaded;
    for (const bool threeD : {false, true}) {
        const Shown shown = show(StatsChart::Kind(kind), threeD, stacked);
        const QImage image = rendered(*shown.chart);
        const QChart &chart = *shown.chart->chart();
        QCOMPARE(legendLabels(chart), legend);
        const QList<QAbstractSeries *> all = chart.series();
        for (const QAbstractSeries *one : all)
            QCOMPARE(QString::fromLatin1(one->metaObject()->className()), seriesType);
        if (kind == StatsChart::Bars) {
            QCOMPARE(all.size(), 1);
            QCOMPARE(static_cast<QAbstractBarSeries *>(all[0])->count(), legend.size());
        } else {
            QCOMPARE(all.size(), legend.size());
        }
        if (kind == StatsChart::Area && stacked) {
            // Download rises from Upload's line: on 27/11, from 212 to 212 + 1234.5.
            const auto *download = qobject_cast<QAreaSeries *>(legend.size() == all.size() ? all[1] : nullptr);
            QVERIFY(download && download->lowerSeries());
            QCOMPARE(download->lowerSeries()->at(5), QPointF(5, 212));
            QCOMPARE(download->upperSeries()->at(5), QPointF(5, 1446.5));
        }

        const auto *values = qobject_cast<QValueAxis *>(chart.axes(Qt::Vertical).value(0));
        QVERIFY(values);
        QCOMPARE(values->titleText(), u"MB"_s);
        QCOMPARE(values->min(), 0.0);
        const auto *categories = qobject_cast<QBarCategoryAxis *>(chart.axes(Qt::Horizontal).value(0));
        QVERIFY(categories);
        QCOMPARE(categories->count(), shown.grid->rowCount());
        QCOMPARE(categories->at(0), shown.grid->rowLabel(0));

        // The legend shows each series in a colour of its own.
        QList<QColor> colours;
        QList<int> shaded;
        for (const QLegendMarker *marker : chart.legend()->markers()) {
            QVERIFY(marker->isVisible());
            QVERIFY(!colours.contains(marker->brush().color()));
            colours << marker->brush().color();
            shaded << shadedPixels(image, colours.last());
        }
        // In depth, the pointer finds the solids that fill their category's width.
        if (!threeD || kind == StatsChart::Area || (kind == StatsChart::Bars && stacked)) {
            QToolTip::hideText();
            hover(shown, StatsChart::Kind(kind), threeD, stacked, series);
            QTRY_COMPARE(QToolTip::text(), tip);
        }
        if (!threeD) {
            flatColours = colours;
            flatShaded = shaded;
            continue;
        }
        QCOMPARE(colours, flatColours);
        qInfo() << "shaded pixels per series, flat" << flatShaded << "in depth" << shaded;
        for (qsizetype one = 0; one < shaded.size(); ++one) {
            QVERIFY2(shaded[one] > 200 && shaded[one] > 4 * flatShaded[one],
                qPrintable(u"series %1: %2 flat, %3 in depth"_s.arg(one).arg(flatShaded[one]).arg(shaded[one])));
        }
    }
}

void StatsChartTest::emptyGridShowsNote()
{
    const Shown shown = show(StatsChart::Bars, true, false);
    StatsChart &chart = *shown.chart;
    const auto note = [&]() -> QGraphicsSimpleTextItem * {
        for (QGraphicsItem *item : chart.scene()->items()) {
            if (auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item); text && text->text().contains(u"traffic"_s))
                return text;
        }
        return nullptr;
    };
    QVERIFY(note() && !note()->isVisible());

    TestDatabase emptyDb;
    StatsGrid empty(m_clock);
    QCOMPARE(empty.fill(emptyDb.path(), StatsGrid::VolumePerDay, false, false, {}), StatsGrid::Outcome::Empty);
    chart.showGrid(empty, StatsChart::Bars, true, false, u"MB"_s);
    const QImage image = rendered(chart);
    QVERIFY(chart.chart()->series().isEmpty());
    QVERIFY(note()->isVisible());
    const QPointF centre = note()->sceneBoundingRect().center();
    QVERIFY2(qAbs(centre.x() - 310) < 2 && qAbs(centre.y() - 220) < 2,
        qPrintable(u"%1,%2"_s.arg(centre.x()).arg(centre.y())));
    // Neither walls nor axes: nothing but the background and the note's grey text.
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            coloured += QColor(image.pixel(x, y)).hsvSaturation() > 40;
    }
    QCOMPARE(coloured, 0);
    QVERIFY(!chart.chart()->legend()->isVisible());

    chart.showGrid(*shown.grid, StatsChart::Area, false, false, u"MB"_s);
    rendered(chart);
    QVERIFY(!note()->isVisible());
    QCOMPARE(chart.chart()->series().size(), 3);
    QVERIFY(chart.chart()->legend()->isVisible());
}

// In depth, each series' highest pixels, those of a peak on one day, stand over that day's label.
void StatsChartTest::peakOverItsLabel()
{
    constexpr int Peak = 6;
    TestDatabase db;
    for (int day = 0; day < 15; ++day) {
        db.exec(u"INSERT INTO Log VALUES('%1','%1',%2,%2*4,1)"_s
                    .arg(Now.date().addDays(day - 14).toString(u"yyyy-MM-dd 12:00:00"_s))
                    .arg((day == Peak ? 750 : 50) * MiB, 0, 'f', 0));
    }
    StatsGrid grid(m_clock);
    QCOMPARE(grid.fill(db.path(), StatsGrid::VolumePerDay, false, false, {}), StatsGrid::Outcome::Filled);
    StatsChart chart;
    chart.resize(620, 440);
    chart.show();
    for (const StatsChart::Kind kind : {StatsChart::Area, StatsChart::Line, StatsChart::Bars}) {
        chart.showGrid(grid, kind, true, false, u"MB"_s);
        const QImage image = rendered(chart);
        const QRectF plot = chart.chart()->plotArea();
        const double category = plot.width() / grid.rowCount();
        const double labelX = plot.left() + (Peak + 0.5) * category; // where the axis centres the label
        for (int series = 0; series < 3; ++series) {
            // The series' topmost pixels, and where they lie across.
            QList<int> top;
            for (int y = 0; y < image.height() && top.size() < 2; ++y) {
                for (int x = int(plot.left()); x < int(plot.right()); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    const int off = std::abs(pixel.hsvHue() - ChartData {}.colour(series).hsvHue());
                    if (pixel.hsvHue() >= 0 && std::min(off, 360 - off) <= 10 && pixel.hsvSaturation() > 90)
                        top << x;
                }
            }
            const double across = top.isEmpty() ? -1 : (top.first() + top.last()) / 2.0;
            QVERIFY2(std::abs(across - labelX) < category / 2,
                qPrintable(u"kind %1, series %2 at %3"_s.arg(kind).arg(series).arg(across)));
        }
    }
}

// A daily allowance on the day view, flat and in depth: its line at its value, today's projected end above its use.
void StatsChartTest::allowanceLineAndProjection()
{
    Settings settings;
    settings.maxMB = 1500;
    RunCounters open;
    open.curIn = 100 * MiB; // not logged yet: on today, with its 720 MB
    QString error;
    const std::optional<AllowanceStatus> status = AllowanceStatus::read(m_db.path(), settings, m_clock, open, error);
    QVERIFY2(status, qPrintable(error));
    for (const auto &[kind, threeD] : {std::pair {StatsChart::Bars, false}, {StatsChart::Area, true}}) {
        const Shown shown = show(kind, threeD, false);
        StatsChart &chart = *shown.chart;
        QCOMPARE(
            shown.grid->fill(m_db.path(), StatsGrid::VolumePerDay, false, false, open), StatsGrid::Outcome::Filled);
        chart.showGrid(*shown.grid, kind, threeD, false, u"MB"_s);
        const ChartAllowance allowance = ChartAllowance::make(*shown.grid, StatsGrid::VolumePerDay, *status);
        chart.setAllowance(allowance);
        const QImage image = rendered(chart);
        // 820 MB in 17 h 29 min 47 s: at that pace 1124.8 MB by midnight.
        QCOMPARE(QString::number(allowance.projected, 'f', 1), u"1124.8"_s);
        QChart &c = *chart.chart();
        const auto y = [&](double value) { return c.mapToPosition(QPointF(0, value), c.series().value(0)).y(); };
        const int lineY = qRound(y(1500));
        QCOMPARE(qRound(*chart.allowanceLineY()), lineY);
        const QRectF segment = *chart.projectedRect();
        const double lift = segment.bottom() - y(820); // in depth, the Total's slot
        QVERIFY(std::abs(segment.top() - lift - y(1124.8)) < 1 && (threeD || std::abs(lift) < 1));
        // On the screen: the line's red dashes across the plot, and two colours (the hatch) in the segment.
        int red = 0;
        for (int x = int(c.plotArea().left()); x < int(c.plotArea().right()); ++x) {
            for (const QColor pixel : {image.pixelColor(x, lineY - 1), image.pixelColor(x, lineY)})
                red += pixel.red() > 150 && pixel.green() < 120 && pixel.blue() < 120;
        }
        QVERIFY2(red > c.plotArea().width() / 4, qPrintable(QString::number(red)));
        QSet<QRgb> seen;
        for (int i = 0; i < 64; ++i)
            seen << image.pixel(segment.center().toPoint() + QPoint(i % 8 - 4, i / 8 - 4));
        QVERIFY(seen.size() > 1);
    }
}

// The mouse on a value of row 5: from the flat series' hover signals, or on the drawn solid's front face in depth.
void StatsChartTest::hover(const Shown &shown, StatsChart::Kind kind, bool threeD, bool stacked, int series)
{
    constexpr int Row = 5;
    QChart &chart = *shown.chart->chart();
    if (threeD) {
        // Halfway up the value, in the middle of its category; Download, stacked, stands on Upload.
        const QRectF plot = chart.plotArea();
        const double top = static_cast<QValueAxis *>(chart.axes(Qt::Vertical).value(0))->max();
        const double middle = series == 0 ? DayUp[Row] / 2 : DayUp[Row] * stacked + DayDown[Row] / 2;
        const QPointF at(
            plot.left() + (Row + 0.5) * plot.width() / DayUp.size(), plot.bottom() - middle / top * plot.height());
        // From elsewhere first: a move to where the pointer already is would be no move.
        QTest::mouseMove(shown.chart->viewport(), QPoint(1, 1));
        QTest::mouseMove(shown.chart->viewport(), shown.chart->mapFromScene(at));
    } else if (kind == StatsChart::Bars) {
        auto *bars = static_cast<QAbstractBarSeries *>(chart.series().value(0));
        Q_EMIT bars->barSets().value(series)->hovered(true, Row);
    } else {
        // Areas that are not stacked are added largest first, behind the others.
        auto *xy = chart.series().value(kind == StatsChart::Area && !stacked ? 2 - series : series);
        if (auto *area = qobject_cast<QAreaSeries *>(xy))
            Q_EMIT area->hovered(QPointF(Row + 0.3, 700), true);
        else
            Q_EMIT static_cast<QXYSeries *>(xy)->hovered(QPointF(Row - 0.4, 1400), true);
    }
}

QTEST_MAIN(StatsChartTest)
#include "tst_statschart.moc"
