// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Throughput.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

std::optional<qint64> toInteger(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return std::nullopt;
    // QVariant's own conversion of a double beyond qint64's range is undefined behaviour.
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double number = std::nearbyint(value.toDouble());
        return number >= -0x1p62 && number <= 0x1p62 ? std::optional(qint64(number)) : std::nullopt;
    }
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

// Nothing when the stored value is no whole number in [lowest, highest].
std::optional<qint64> readInteger(
    const QVariantMap &stored, const QString &name, qint64 defaultValue, qint64 lowest, qint64 highest)
{
    if (!stored.contains(name))
        return defaultValue;
    const std::optional<qint64> number = toInteger(stored.value(name));
    return number && *number >= lowest && *number <= highest ? number : std::nullopt;
}

std::optional<int> readInt(const QVariantMap &stored, const QString &name, int defaultValue)
{
    const auto number = readInteger(stored, name, defaultValue, INT_MIN, INT_MAX);
    return number ? std::optional(int(*number)) : std::nullopt;
}

std::optional<quint32> readColor(const QVariantMap &stored, const QString &name, quint32 defaultValue)
{
    // Stores that keep signed 32-bit numbers give the desktop's colours as negative values.
    const auto number = readInteger(stored, name, defaultValue, INT_MIN, UINT_MAX);
    return number ? std::optional(quint32(*number)) : std::nullopt;
}

std::optional<bool> readBool(const QVariantMap &stored, const QString &name, bool defaultValue)
{
    if (!stored.contains(name))
        return defaultValue;
    const QVariant value = stored.value(name);
    // Text stores give "true" or "false", numeric ones 0 and -1 or 1.
    const QString text = value.toString().toLower();
    if (text == u"true"_s || text == u"false"_s)
        return text == u"true"_s;
    const std::optional<qint64> number = toInteger(value);
    return number ? std::optional(*number != 0) : std::nullopt;
}

} // namespace

Throughput::Throughput(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

void Throughput::setMax(int max)
{
    m_max = max;
    redraw();
    Q_EMIT propertyChanged(u"Max"_s);
}

void Throughput::setBarWidth(int barWidth)
{
    m_barWidth = barWidth;
    resizeGraph();
    Q_EMIT propertyChanged(u"BarWidth"_s);
}

void Throughput::setBackColor(quint32 color)
{
    m_backColor = color;
    redraw();
    Q_EMIT propertyChanged(u"BackColor"_s);
}

void Throughput::setForeColor(quint32 color)
{
    m_foreColor = color;
    redraw();
    Q_EMIT propertyChanged(u"ForeColor"_s);
}

bool Throughput::flat() const
{
    return frameShape() == QFrame::NoFrame;
}

void Throughput::setFlat(bool flat)
{
    setFrameStyle(flat ? int(QFrame::NoFrame) : QFrame::StyledPanel | QFrame::Sunken);
    resizeGraph(); // the frame changes the area inside it
    Q_EMIT propertyChanged(u"Flat"_s);
}

void Throughput::setInverted(bool inverted)
{
    m_inverted = inverted;
    resizeGraph();
    Q_EMIT propertyChanged(u"Inverted"_s);
}

void Throughput::addValue(int value)
{
    // A graph placed while hidden has its resize event only when it shows: the values that
    // come before it must already find their room.
    if (!sized())
        resizeGraph();
    m_model.addValue(value);
    const bool barless = m_sinceBar >= m_model.capacity();
    m_sinceBar = value > 0 ? 0 : std::min(m_sinceBar, INT_MAX - 1) + 1;
    // No bars fit: nothing to scroll, and a negative step would scroll the wrong way.
    if (m_model.capacity() == 0 || m_stale || (barless && value <= 0))
        return;
    if (!seen()) {
        m_stale = true;
        return;
    }
    const int width = m_model.width();
    const int step = std::min(m_model.barWidth(), width);
    for (int y = 0; y < m_picture.height(); ++y) {
        uchar *line = m_picture.scanLine(y);
        std::memmove(line, line + std::size_t(step) * sizeof(QRgb), std::size_t(width - step) * sizeof(QRgb));
    }
    fill(m_model.slot(0), rgb(m_backColor));
    fill(m_model.bar(0, m_max, m_inverted), rgb(m_foreColor));
    // The window's copy of the picture moves with it; what it lacks is the new slot.
    scroll(-step, 0, contentsRect());
}

void Throughput::catchUp()
{
    if (m_stale)
        update(contentsRect());
}

const QImage &Throughput::picture() const
{
    if (m_stale)
        drawBars();
    return m_picture;
}

bool Throughput::sized() const
{
    return contentsRect().size() == QSize(m_model.width(), m_model.height());
}

bool Throughput::seen() const
{
    return isVisible() && !window()->isMinimized();
}

void Throughput::initProperties()
{
    setBackColor(DefaultBackColor);
    setForeColor(DefaultForeColor);
    setMax(DefaultMax);
    setBarWidth(DefaultBarWidth);
    setFlat(DefaultFlat);
    setInverted(DefaultInverted);
}

void Throughput::readProperties(const QVariantMap &stored)
{
    if (const auto color = readColor(stored, u"BackColor"_s, DefaultBackColor))
        setBackColor(*color);
    if (const auto color = readColor(stored, u"ForeColor"_s, DefaultForeColor))
        setForeColor(*color);
    if (const auto max = readInt(stored, u"Max"_s, DefaultMax))
        setMax(*max);
    if (const auto barWidth = readInt(stored, u"BarWidth"_s, DefaultBarWidth))
        setBarWidth(*barWidth);
    if (const auto flat = readBool(stored, u"Flat"_s, DefaultFlat))
        setFlat(*flat);
    if (const auto inverted = readBool(stored, u"Inverted"_s, DefaultInverted))
        setInverted(*inverted);
}

void Throughput::writeProperties(QVariantMap &stored) const
{
    stored.insert(u"BackColor"_s, QVariant::fromValue(backColor()));
    stored.insert(u"ForeColor"_s, QVariant::fromValue(foreColor()));
    stored.insert(u"Max"_s, max());
    stored.insert(u"BarWidth"_s, barWidth());
    stored.insert(u"Flat"_s, flat());
    stored.insert(u"Inverted"_s, inverted());
}

void Throughput::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    // Old bars are never stretched to a new size: the graph starts again.
    if (!sized())
        resizeGraph();
}

void Throughput::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        redraw(); // the desktop's colours changed
    else if (event->type() == QEvent::StyleChange)
        resizeGraph(); // a new style may draw a wider frame
}

void Throughput::paintEvent(QPaintEvent *event)
{
    if (m_stale)
        drawBars();
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    const QRect painted = event->rect() & area;
    painter.drawImage(painted.topLeft(), m_picture, painted.translated(-area.topLeft()));
}

void Throughput::resizeGraph()
{
    const QRect area = contentsRect();
    m_model.reset(area.width(), area.height(), m_barWidth);
    m_sinceBar = INT_MAX;
    // A frameless graph paints every pixel of itself, so that scrolling it is a plain blit.
    setAttribute(Qt::WA_OpaquePaintEvent, area == rect());
    if (area.isEmpty())
        m_picture = QImage();
    else if (m_picture.size() != area.size())
        m_picture = QImage(area.size(), QImage::Format_RGB32);
    m_picture.fill(rgb(m_backColor));
    m_stale = false;
    update();
}

void Throughput::redraw()
{
    m_stale = true;
    if (seen())
        update(contentsRect());
}

void Throughput::drawBars() const
{
    m_stale = false;
    m_picture.fill(rgb(m_backColor));
    const QRgb foreground = rgb(m_foreColor);
    for (int age = 0; age < m_model.count(); ++age)
        fill(m_model.bar(age, m_max, m_inverted), foreground);
}

void Throughput::fill(const QRect &rect, QRgb color) const
{
    const QRect clipped = rect & m_picture.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(m_picture.scanLine(y));
        std::fill(line + clipped.left(), line + clipped.left() + clipped.width(), color);
    }
}

QRgb Throughput::rgb(quint32 color) const
{
    return PlatformColor::toColor(color, palette()).rgb();
}
