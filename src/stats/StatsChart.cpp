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
#include <QPainter>
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
    m_emptyNote->setZValue(1);
    m_emptyNote->hide();
    scene()->addItem(m_emptyNote);
    applyPalette();
}

void StatsChart::applyPalette()
{
    // The chart's own theme is light: its background, text and lines come from the palette instead.
    const QPalette &colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const QColor base = colours.color(QPalette::Base);
    chart()->setBackgroundBrush(base);
    chart()->setPlotAreaBackgroundVisible(false);
    chart()->legend()->setLabelColor(text);
    for (QAbstractAxis *axis :
        {static_cast<QAbstractAxis *>(m_categories), static_cast<QAbstractAxis *>(m_valueAxis)}) {
        axis->setLabelsBrush(text);
        axis->setTitleBrush(text);
        axis->setLinePenColor(colours.color(QPalette::Mid));
        axis->setGridLineColor(colours.color(QPalette::Midlight));
    }
    m_emptyNote->setBrush(colours.color(QPalette::PlaceholderText));
    viewport()->update();
}

void StatsChart::changeEvent(QEvent *event)
{
    QChartView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
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
    m_allowance = {};
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

void StatsChart::setAllowance(const ChartAllowance &allowance)
{
    m_allowance = m_data.isEmpty() ? ChartAllowance {} : allowance;
    if (!m_data.isEmpty())
        setValueRange();
    updateDepth();
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
    // The allowance's line and the projected end stay in sight.
    max = std::max({max, m_allowance.line, m_allowance.projected});
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
    // The forecast's line lies under the category labels.
    const int below = m_allowance.forecast.isEmpty() ? 0 : QFontMetrics(font()).height() + Margin / 2;
    chart()->setMargins(QMargins(Margin, Margin + int(std::ceil(-reach.y())), Margin, Margin + below));
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
    ChartDepth drawn(m_data, chart()->plotArea(), m_axisTop, m_depth);
    drawn.setSurface(palette().color(QPalette::Base), palette().color(QPalette::Text));
    return drawn;
}

void StatsChart::drawForeground(QPainter *painter, const QRectF &rect)
{
    QChartView::drawForeground(painter, rect);
    if (m_data.isEmpty())
        return;
    if (m_threeD)
        depth().paint(painter, m_valueAxis->tickCount());
    paintAllowance(painter);
}

double StatsChart::valueY(double value) const
{
    const QRectF plot = chart()->plotArea();
    return plot.bottom() - value / m_axisTop * plot.height();
}

QPointF StatsChart::frontOfTop() const
{
    // The projection stands on the topmost series: Total, or the stack.
    if (!m_threeD)
        return {};
    return depth().frontOf(m_data.seriesCount() - 1);
}

std::optional<double> StatsChart::allowanceLineY() const
{
    if (m_data.isEmpty() || m_allowance.line <= 0)
        return std::nullopt;
    return valueY(m_allowance.line);
}

std::optional<QRectF> StatsChart::projectedRect() const
{
    const int row = m_data.rows() - 1;
    if (row < 0 || m_allowance.projected < 0)
        return std::nullopt;
    const int top = m_data.seriesCount() - 1;
    const double used = m_data.sumBelow(row, top) + m_data.value(row, top);
    if (m_allowance.projected <= used)
        return std::nullopt;
    const QRectF plot = chart()->plotArea();
    const double category = plot.width() / m_data.rows();
    // Over the used part: the last bar (Total's in a group of bars), or the line's last point.
    double left = row + 0.3;
    double right = row + 0.7;
    if (m_data.kind == Bars && m_threeD) {
        left = row + 0.2;
        right = row + 0.8;
    } else if (m_data.kind == Bars) {
        const double width = m_data.stacked ? 0.6 : 0.8;
        const int sets = m_data.stacked ? 1 : m_data.seriesCount();
        left = row + 0.5 + width / 2 - width / sets;
        right = row + 0.5 + width / 2;
    }
    const QRectF segment(QPointF(plot.left() + left * category, valueY(m_allowance.projected)),
        QPointF(plot.left() + right * category, valueY(used)));
    return segment.translated(frontOfTop());
}

void StatsChart::paintAllowance(QPainter *painter) const
{
    if (m_allowance.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const QRectF plot = chart()->plotArea();

    if (const std::optional<QRectF> segment = projectedRect()) {
        // Lighter than the series and hatched: what the period would add at its pace, not what it used.
        const QColor colour = m_data.colour(m_data.seriesCount() - 1);
        QColor light = colour;
        light.setAlpha(90);
        painter->setPen(Qt::NoPen);
        painter->setBrush(light);
        painter->drawRect(*segment);
        painter->setBrush(QBrush(colour, Qt::BDiagPattern));
        painter->drawRect(*segment);
        painter->setPen(QPen(colour, 1.2, Qt::DashLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(*segment);
    }

    if (const std::optional<double> y = allowanceLineY()) {
        // Across the front and, in depth, on along the left wall and the back.
        const QColor cap(214, 40, 40);
        QPolygonF line {QPointF(plot.right(), *y), QPointF(plot.left(), *y)};
        if (m_threeD) {
            const QPointF back = ChartDepth::offset(m_depth, 1);
            line << QPointF(plot.left(), *y) + back << QPointF(plot.right(), *y) + back;
        }
        painter->setPen(QPen(cap, 2, Qt::DashLine));
        painter->drawPolyline(line);
        painter->setPen(text);
        const QFontMetricsF metrics(font());
        const QRectF label(plot.left() + 4, *y - metrics.height() - 2, plot.width() - 8, metrics.height());
        painter->drawText(label, Qt::AlignRight | Qt::AlignBottom, m_allowance.lineLabel);
    }

    if (!m_allowance.forecast.isEmpty()) {
        const QFontMetrics metrics(font());
        const QRectF area = chart()->geometry();
        const double width = area.width() - 2 * Margin - m_coveredWidth;
        painter->setPen(text);
        painter->setFont(font());
        painter->drawText(QPointF(area.left() + Margin, area.bottom() - Margin - metrics.descent()),
            metrics.elidedText(m_allowance.forecast, Qt::ElideRight, int(width)));
    }
    painter->restore();
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
