// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/StatsChart.h"

#include "stats/ChartChoices.h"
#include "stats/StatsGrid.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

static_assert(int(StatsChart::Area) == ChartChoices::Area && int(StatsChart::Line) == ChartChoices::Line
    && int(StatsChart::Bars) == ChartChoices::Bars);

namespace {

// The depth recedes up and to the right, so the solids show their front, top and right side.
constexpr double DepthAngle = 40 * std::numbers::pi / 180;
constexpr int Margin = 10;

// Upload red and Download green as on the monitor's graphs; the speed views' one series is a download.
QColor seriesColour(int series, int seriesCount)
{
    static const QColor palette[] = {QColor(208, 72, 56), QColor(56, 150, 72), QColor(64, 112, 184)};
    if (seriesCount == 1)
        return palette[1];
    return palette[series % 3];
}

QColor topShade(const QColor &colour)
{
    return colour.lighter(135);
}

QColor sideShade(const QColor &colour)
{
    return colour.darker(140);
}

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
    m_kind = kind;
    m_threeD = threeD;
    m_stacked = stacked;
    m_unit = unit;
    m_rowLabels = grid.rowLabels();
    m_seriesLabels.clear();
    for (int series = 0; series < grid.seriesCount(); ++series)
        m_seriesLabels << grid.seriesLabel(series);
    m_values.clear();
    m_values.reserve(m_rowLabels.size() * m_seriesLabels.size());
    for (int row = 0; row < m_rowLabels.size(); ++row) {
        for (int series = 0; series < m_seriesLabels.size(); ++series)
            m_values << grid.value(row, series);
    }

    QToolTip::hideText();
    chart()->removeAllSeries();
    const bool empty = m_rowLabels.isEmpty() || m_seriesLabels.isEmpty();
    m_emptyNote->setVisible(empty);
    m_categories->setVisible(!empty);
    m_valueAxis->setVisible(!empty);
    chart()->legend()->setVisible(!empty);
    if (!empty) {
        m_categories->setCategories(m_rowLabels);
        m_valueAxis->setTitleText(unit);
        m_valueAxis->setGridLineVisible(!threeD);
        buildSeries();
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
    return u"%1\n%2: %3 %4"_s.arg(
        m_rowLabels.value(row), m_seriesLabels.value(series), QLocale().toString(value(row, series), 'f', 3), m_unit);
}

double StatsChart::sumBelow(int row, int series) const
{
    double sum = 0;
    for (int below = 0; m_stacked && below < series; ++below)
        sum += value(row, below);
    return sum;
}

void StatsChart::buildSeries()
{
    const int seriesCount = int(m_seriesLabels.size());
    const int rows = int(m_rowLabels.size());
    // A single period would be a lone point: it spans the middle of its category instead.
    const auto pointsOf = [&](int series, bool upper) {
        QList<QPointF> points;
        for (int row = 0; row < rows; ++row) {
            const double y = sumBelow(row, series) + (upper ? value(row, series) : 0);
            if (rows == 1)
                points << QPointF(-0.3, y) << QPointF(0.3, y);
            else
                points << QPointF(row, y);
        }
        return points;
    };
    const auto hoverXY = [this, rows](int series) {
        return [this, rows, series](const QPointF &point, bool on) {
            if (on)
                showTip(std::clamp(int(std::lround(point.x())), 0, rows - 1), series, QCursor::pos());
            else
                QToolTip::hideText();
        };
    };

    QList<QAbstractSeries *> added;
    if (m_kind == Bars) {
        QAbstractBarSeries *bars
            = m_stacked ? static_cast<QAbstractBarSeries *>(new QStackedBarSeries) : new QBarSeries;
        bars->setBarWidth(m_stacked ? 0.6 : 0.8);
        for (int series = 0; series < seriesCount; ++series) {
            auto *set = new QBarSet(m_seriesLabels.at(series));
            for (int row = 0; row < rows; ++row)
                set->append(value(row, series));
            const QColor colour = seriesColour(series, seriesCount);
            set->setColor(colour);
            set->setBorderColor(colour);
            connect(set, &QBarSet::hovered, this, [this, series](bool on, int row) {
                if (on)
                    showTip(row, series, QCursor::pos());
                else
                    QToolTip::hideText();
            });
            bars->append(set);
        }
        added << bars;
    } else {
        // Areas that are not stacked overlap: the larger ones go behind, the legend keeps the grid's order.
        const bool behind = m_kind == Area && !m_stacked;
        for (int series = 0; series < seriesCount; ++series) {
            const QColor colour = seriesColour(series, seriesCount);
            QAbstractSeries *item = nullptr;
            if (m_kind == Line) {
                auto *line = new QLineSeries;
                line->append(pointsOf(series, true));
                line->setPen(QPen(colour, 2.5));
                line->setPointsVisible(rows <= 16);
                line->setMarkerSize(3.5);
                connect(line, &QXYSeries::hovered, this, hoverXY(series));
                item = line;
            } else {
                auto *area = new QAreaSeries;
                auto *upper = new QLineSeries(area);
                upper->append(pointsOf(series, true));
                area->setUpperSeries(upper);
                if (m_stacked && series > 0) {
                    auto *lower = new QLineSeries(area);
                    lower->append(pointsOf(series, false));
                    area->setLowerSeries(lower);
                }
                area->setColor(colour);
                area->setBorderColor(colour.darker(115));
                connect(area, &QAreaSeries::hovered, this, hoverXY(series));
                item = area;
            }
            item->setName(m_seriesLabels.at(series));
            if (behind)
                added.prepend(item);
            else
                added << item;
        }
    }
    chart()->legend()->setReverseMarkers(m_kind == Area && !m_stacked);

    for (QAbstractSeries *series : std::as_const(added)) {
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
    for (int row = 0; row < m_rowLabels.size(); ++row) {
        for (int series = 0; series < m_seriesLabels.size(); ++series)
            max = std::max(max, sumBelow(row, series) + value(row, series));
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
    const int rows = int(m_rowLabels.size());
    double depth = 0;
    if (m_threeD && rows > 0) {
        const int slots = m_stacked ? 1 : int(m_seriesLabels.size());
        const double categoryGuess = std::max(8.0, width() * 0.7 / rows);
        const double shortSide = std::min(width(), height());
        depth = std::clamp(slots * categoryGuess * 0.6, 0.05 * shortSide, 0.12 * shortSide);
    }
    const bool changed = depth != m_depth;
    m_depth = depth;
    // The depth takes room above the plot and between the plot and the legend.
    const QPointF reach = depthAt(1);
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
    const int rows = int(m_rowLabels.size());
    if (rows == 0)
        return;
    const QFontMetricsF metrics(m_categories->labelsFont());
    double widest = 0;
    for (const QString &label : std::as_const(m_rowLabels))
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

QPointF StatsChart::depthAt(double fraction) const
{
    return QPointF(std::cos(DepthAngle), -std::sin(DepthAngle)) * (m_depth * fraction);
}

QList<StatsChart::Face> StatsChart::solids() const
{
    QList<Face> faces;
    const int rows = int(m_rowLabels.size());
    const int seriesCount = int(m_seriesLabels.size());
    if (!m_threeD || rows == 0 || seriesCount == 0)
        return faces;
    const int slots = m_stacked ? 1 : seriesCount;
    const double gap = m_kind == Line ? 0.25 : 0.12;
    // The first series stands in front, where the small Upload is not hidden by the larger ones.
    for (int slot = slots - 1; slot >= 0; --slot) {
        const double front = (slot + gap) / slots;
        const double back = (slot + 1 - gap) / slots;
        const int first = m_stacked ? 0 : slot;
        const int last = m_stacked ? seriesCount - 1 : slot;
        if (m_kind == Bars) {
            // Left to right, bottom to top: each box hides the side of the one before it.
            for (int row = 0; row < rows; ++row) {
                for (int series = first; series <= last; ++series)
                    addBox(faces, row, series, front, back);
            }
            continue;
        }
        const QRectF plot = chart()->plotArea();
        const double category = plot.width() / rows;
        for (int series = first; series <= last; ++series) {
            QList<QPointF> upper;
            QList<QPointF> lower;
            for (int row = 0; row < rows; ++row) {
                const double x = plot.left() + (row + 0.5) * category;
                const double base = plot.bottom() - sumBelow(row, series) / m_axisTop * plot.height();
                const double top = base - value(row, series) / m_axisTop * plot.height();
                if (rows == 1) {
                    upper << QPointF(x - 0.3 * category, top) << QPointF(x + 0.3 * category, top);
                    lower << QPointF(x - 0.3 * category, base) << QPointF(x + 0.3 * category, base);
                } else {
                    upper << QPointF(x, top);
                    lower << QPointF(x, base);
                }
            }
            if (m_kind == Line) {
                addBand(faces, series, upper, front, back, false);
                // The front edge in the series' own colour, so that the band reads as a line.
                Face edge;
                edge.polygon = QPolygonF(upper).translated(depthAt(front));
                edge.fill = seriesColour(series, seriesCount);
                edge.edge = true;
                faces << edge;
                continue;
            }
            const QColor colour = seriesColour(series, seriesCount);
            const QPointF near = depthAt(front);
            const QPointF far = depthAt(back);
            Face cap;
            cap.polygon = {upper.last() + near, lower.last() + near, lower.last() + far, upper.last() + far};
            cap.fill = sideShade(colour);
            cap.series = series;
            cap.firstRow = cap.lastRow = rows - 1;
            faces << cap;
            addBand(faces, series, upper, front, back, true);
            // The front face is the nearest part of the solid: painted last, it hides the faces that turn away.
            Face face;
            face.polygon = QPolygonF(upper).translated(near);
            for (qsizetype i = lower.size() - 1; i >= 0; --i)
                face.polygon << lower.at(i) + near;
            face.fill = colour;
            face.series = series;
            face.firstRow = 0;
            face.lastRow = rows - 1;
            face.firstX = upper.first().x() + near.x();
            face.lastX = upper.last().x() + near.x();
            faces << face;
        }
    }
    return faces;
}

void StatsChart::addBox(QList<Face> &faces, int row, int series, double front, double back) const
{
    const double v = value(row, series);
    if (v <= 0)
        return;
    const QRectF plot = chart()->plotArea();
    const double category = plot.width() / m_rowLabels.size();
    const double x0 = plot.left() + (row + 0.2) * category;
    const double x1 = plot.left() + (row + 0.8) * category;
    const double y1 = plot.bottom() - sumBelow(row, series) / m_axisTop * plot.height();
    const double y0 = y1 - v / m_axisTop * plot.height();
    const QPointF near = depthAt(front);
    const QPointF far = depthAt(back);
    const QColor colour = seriesColour(series, int(m_seriesLabels.size()));

    Face face;
    face.series = series;
    face.firstRow = face.lastRow = row;
    face.polygon = {QPointF(x1, y0) + near, QPointF(x1, y1) + near, QPointF(x1, y1) + far, QPointF(x1, y0) + far};
    face.fill = sideShade(colour);
    faces << face;
    face.polygon = {QPointF(x0, y0) + near, QPointF(x1, y0) + near, QPointF(x1, y0) + far, QPointF(x0, y0) + far};
    face.fill = topShade(colour);
    faces << face;
    face.polygon = QPolygonF(QRectF(QPointF(x0, y0), QPointF(x1, y1))).translated(near);
    face.fill = colour;
    faces << face;
}

void StatsChart::addBand(
    QList<Face> &faces, int series, const QList<QPointF> &line, double front, double back, bool solid) const
{
    const QPointF near = depthAt(front);
    const QPointF far = depthAt(back);
    const QPointF depth = far - near;
    const QColor colour = seriesColour(series, int(m_seriesLabels.size()));
    const int rows = int(m_rowLabels.size());
    // Left to right: a piece further right is nearer wherever two pieces cover the same pixels.
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF along = line.at(i + 1) - line.at(i);
        // Which side of the band faces the eye: its top, or its underside on a steep rise.
        const bool topSide = along.x() * depth.y() - along.y() * depth.x() < 0;
        if (solid && !topSide)
            continue;
        Face face;
        face.polygon = {line.at(i) + near, line.at(i + 1) + near, line.at(i + 1) + far, line.at(i) + far};
        face.fill = topSide ? topShade(colour) : sideShade(colour);
        face.series = series;
        face.firstRow = rows == 1 ? 0 : int(i);
        face.lastRow = rows == 1 ? 0 : int(i) + 1;
        face.firstX = line.at(i).x() + near.x();
        face.lastX = line.at(i + 1).x() + near.x();
        faces << face;
    }
}

void StatsChart::paintWalls(QPainter *painter) const
{
    const QRectF plot = chart()->plotArea();
    const QPointF back = depthAt(1);
    const QPolygonF backWall = QPolygonF(plot).translated(back);
    const QPolygonF leftWall {plot.bottomLeft(), plot.topLeft(), plot.topLeft() + back, plot.bottomLeft() + back};
    const QPolygonF floor {plot.bottomLeft(), plot.bottomRight(), plot.bottomRight() + back, plot.bottomLeft() + back};
    painter->setPen(QPen(QColor(180, 180, 180), 1));
    painter->setBrush(QColor(247, 247, 247));
    painter->drawPolygon(backWall);
    painter->setBrush(QColor(236, 236, 236));
    painter->drawPolygon(leftWall);
    painter->setBrush(QColor(222, 222, 222));
    painter->drawPolygon(floor);

    // The value lines run along the left wall and across the back, where the tallest solids meet them.
    painter->setPen(QPen(QColor(205, 205, 205), 1));
    const int ticks = m_valueAxis->tickCount();
    for (int tick = 1; tick < ticks; ++tick) {
        const double y = plot.bottom() - plot.height() * tick / (ticks - 1);
        const QPointF left(plot.left(), y);
        painter->drawLine(left, left + back);
        painter->drawLine(left + back, QPointF(plot.right(), y) + back);
    }
}

void StatsChart::drawForeground(QPainter *painter, const QRectF &rect)
{
    QChartView::drawForeground(painter, rect);
    if (!m_threeD || m_rowLabels.isEmpty() || m_seriesLabels.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintWalls(painter);
    for (const Face &face : solids()) {
        if (face.edge) {
            painter->setPen(QPen(face.fill, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->setBrush(Qt::NoBrush);
            painter->drawPolyline(face.polygon);
            continue;
        }
        painter->setPen(QPen(face.fill.darker(150), 0.8));
        painter->setBrush(face.fill);
        painter->drawPolygon(face.polygon);
    }
    painter->restore();
}

void StatsChart::mouseMoveEvent(QMouseEvent *event)
{
    QChartView::mouseMoveEvent(event);
    if (!m_threeD)
        return;
    const QPointF at = mapToScene(event->position().toPoint());
    const QList<Face> faces = solids();
    // The last face painted under the mouse is the one the user sees there.
    for (auto face = faces.crbegin(); face != faces.crend(); ++face) {
        if (face->edge || !face->polygon.containsPoint(at, Qt::OddEvenFill))
            continue;
        int row = face->firstRow;
        if (face->lastRow != face->firstRow && face->lastX != face->firstX) {
            const double t = (at.x() - face->firstX) / (face->lastX - face->firstX);
            row = std::clamp(
                int(std::lround(face->firstRow + t * (face->lastRow - face->firstRow))), face->firstRow, face->lastRow);
        }
        showTip(row, face->series, event->globalPosition().toPoint());
        return;
    }
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
