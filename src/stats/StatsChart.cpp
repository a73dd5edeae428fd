// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/StatsChart.h"

#include "stats/ChartChoices.h"
#include "stats/ChartDepth.h"
#include "stats/StatsGrid.h"
#include "stats/StatsSeries.h"

#include <QBarCategoryAxis>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLocale>
#include <QMouseEvent>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

static_assert(int(StatsChart::Area) == ChartChoices::Area && int(StatsChart::Line) == ChartChoices::Line
    && int(StatsChart::Bars) == ChartChoices::Bars);

namespace {

constexpr int Margin = 10;

// A step of 1, 2, 2.5 or 5 times a power of ten that splits 0..max into at most six parts.
double niceStep(double max)
{
    const double raw = max / 6;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
        if (factor * magnitude >= raw * (1 - 1e-9))
            return factor * magnitude;
    }
    return 10 * magnitude;
}

// The decimals a multiple of step needs, so that the axis reads 0.25, 2.5 or 250.
int decimalsOf(double step)
{
    for (int decimals = 0; decimals < 6; ++decimals) {
        const double scaled = step * std::pow(10.0, decimals);
        if (std::abs(scaled - std::round(scaled)) < 1e-6 * scaled)
            return decimals;
    }
    return 6;
}

} // namespace

StatsChart::StatsChart(QWidget *parent)
    : QChartView(parent)
{
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    auto *chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->setDropShadowEnabled(false);
    chart->setLocalizeNumbers(true);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    // On the right beside the plot, clear of the window's buttons that lie over the chart's lower right.
    chart->legend()->setAlignment(Qt::AlignRight);

    m_categories = new QBarCategoryAxis;
    m_categories->setGridLineVisible(false);
    m_categories->setTruncateLabels(false);
    m_valueAxis = new QValueAxis;
    chart->addAxis(m_categories, Qt::AlignBottom);
    chart->addAxis(m_valueAxis, Qt::AlignLeft);
    // The view made a chart of its own, which it releases without deleting.
    QChart *madeByTheView = this->chart();
    setChart(chart);
    delete madeByTheView;
    connect(chart, &QChart::plotAreaChanged, this, &StatsChart::updateCategoryLabels);
    // The depth is painted over the whole plot from its place: when the plot moves (its margins
    // follow the depth, after the chart's layout has run), a repaint of the changed items alone
    // would leave the old walls and solids beside them.
    connect(chart, &QChart::plotAreaChanged, viewport(), qOverload<>(&QWidget::update));

    m_emptyNote = new QGraphicsSimpleTextItem(u"No traffic logged yet"_s);
    QFont font = m_emptyNote->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    m_emptyNote->setFont(font);
    m_emptyNote->setBrush(palette().color(QPalette::PlaceholderText));
    m_emptyNote->setZValue(1);
    m_emptyNote->hide();
    scene()->addItem(m_emptyNote);
}

StatsChart::~StatsChart() = default;

void StatsChart::showGrid(const StatsGrid &grid, Kind kind, bool threeD, bool stacked, const QString &unit)
{
    m_data.kind = kind;
    m_threeD = threeD;
    m_data.stacked = stacked;
    m_unit = unit;
    m_data.rowLabels = grid.rowLabels();
    m_data.seriesLabels.clear();
    for (int series = 0; series < grid.seriesCount(); ++series)
        m_data.seriesLabels << grid.seriesLabel(series);
    m_data.values.clear();
    m_data.values.reserve(m_data.rows() * m_data.seriesCount());
    for (int row = 0; row < m_data.rows(); ++row) {
        for (int series = 0; series < m_data.seriesCount(); ++series)
            m_data.values << grid.value(row, series);
    }

    QToolTip::hideText();
    chart()->removeAllSeries();
    const bool empty = m_data.isEmpty();
    m_emptyNote->setVisible(empty);
    m_categories->setVisible(!empty);
    m_valueAxis->setVisible(!empty);
    chart()->legend()->setVisible(!empty);
    if (!empty) {
        m_categories->setCategories(m_data.rowLabels);
        m_valueAxis->setTitleText(unit);
        m_valueAxis->setGridLineVisible(!threeD);
        addSeries();
        setValueRange();
    }
    updateDepth();
    placeEmptyNote();
    updateCategoryLabels();
    viewport()->update();
}

void StatsChart::setCoveredWidth(int pixels)
{
    if (pixels == m_coveredWidth)
        return;
    m_coveredWidth = pixels;
    updateDepth();
}

QString StatsChart::valueTip(int row, int series) const
{
    return u"%1\n%2: %3 %4"_s.arg(m_data.rowLabels.value(row), m_data.seriesLabels.value(series),
        QLocale().toString(m_data.value(row, series), 'f', 3), m_unit);
}

void StatsChart::addSeries()
{
    const QList<QAbstractSeries *> made = StatsSeries::make(m_data, this, [this](int row, int series, bool on) {
        if (on)
            showTip(row, series, QCursor::pos());
        else
            QToolTip::hideText();
    });
    chart()->legend()->setReverseMarkers(m_data.kind == Area && !m_data.stacked);

    for (QAbstractSeries *series : made) {
        chart()->addSeries(series);
        series->attachAxis(m_categories);
        series->attachAxis(m_valueAxis);
        if (m_threeD) {
            // The solids are painted over the plot; the flat series stay for the legend alone.
            series->setVisible(false);
            for (QLegendMarker *marker : chart()->legend()->markers(series))
                marker->setVisible(true);
        }
    }
}

void StatsChart::setValueRange()
{
    double max = 0;
    for (int row = 0; row < m_data.rows(); ++row) {
        for (int series = 0; series < m_data.seriesCount(); ++series)
            max = std::max(max, m_data.sumBelow(row, series) + m_data.value(row, series));
    }
    if (max <= 0)
        max = 1;
    const double step = niceStep(max);
    const int steps = int(std::ceil(max / step - 1e-9));
    m_axisTop = steps * step;
    m_valueAxis->setRange(0, m_axisTop);
    m_valueAxis->setTickCount(steps + 1);
    m_valueAxis->setMinorTickCount(0);
    m_valueAxis->setLabelFormat(u"%.%1f"_s.arg(decimalsOf(step)));
}

void StatsChart::updateDepth()
{
    const double depth = m_threeD ? ChartDepth::length(m_data, size()) : 0;
    const bool changed = depth != m_depth;
    m_depth = depth;
    // The depth takes room above the plot and between the plot and the legend.
    const QPointF reach = ChartDepth::offset(m_depth, 1);
    chart()->setMargins(QMargins(Margin, Margin + int(std::ceil(-reach.y())), Margin, Margin));
    if (QGraphicsLayout *legendLayout = chart()->legend()->layout())
        legendLayout->setContentsMargins(std::ceil(reach.x()) + Margin, 0, 0, 0);
    // The legend's column, from the plot to the right margin, holds the buttons over the chart's
    // corner, the depth's reach beyond the plot and a gap: the plot and its depth end left of them.
    const double column = m_coveredWidth + std::ceil(reach.x()) + Margin / 2.0;
    chart()->legend()->setMinimumWidth(std::max(0.0, column - Margin));
    if (changed)
        viewport()->update();
}

void StatsChart::updateCategoryLabels()
{
    const int rows = m_data.rows();
    if (rows == 0)
        return;
    const QFontMetricsF metrics(m_categories->labelsFont());
    double widest = 0;
    for (const QString &label : std::as_const(m_data.rowLabels))
        widest = std::max(widest, metrics.horizontalAdvance(label));
    // Upright labels that would touch their neighbours are turned to read upwards.
    const int angle = widest + metrics.averageCharWidth() > chart()->plotArea().width() / rows ? -90 : 0;
    if (m_categories->labelsAngle() != angle)
        m_categories->setLabelsAngle(angle);
}

void StatsChart::placeEmptyNote()
{
    const QRectF note = m_emptyNote->boundingRect();
    const QRectF area = chart()->geometry();
    m_emptyNote->setPos(area.center() - note.center());
}

void StatsChart::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    updateDepth();
    placeEmptyNote();
}

ChartDepth StatsChart::depth() const
{
    return ChartDepth(m_data, chart()->plotArea(), m_axisTop, m_depth);
}

void StatsChart::drawForeground(QPainter *painter, const QRectF &rect)
{
    QChartView::drawForeground(painter, rect);
    if (m_threeD && !m_data.isEmpty())
        depth().paint(painter, m_valueAxis->tickCount());
}

void StatsChart::mouseMoveEvent(QMouseEvent *event)
{
    QChartView::mouseMoveEvent(event);
    if (!m_threeD)
        return;
    if (const auto value = depth().valueAt(mapToScene(event->position().toPoint())))
        showTip(value->row, value->series, event->globalPosition().toPoint());
    else
        QToolTip::hideText();
}

void StatsChart::leaveEvent(QEvent *event)
{
    QChartView::leaveEvent(event);
    if (m_threeD)
        QToolTip::hideText();
}

void StatsChart::showTip(int row, int series, const QPoint &globalPos)
{
    QToolTip::showText(globalPos, valueTip(row, series), this);
}
