// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/CornerPlacement.h"

#include "desktop/Twips.h"

#include <QEvent>
#include <QLoggingCategory>
#include <QScreen>
#include <QWidget>

namespace {
Q_LOGGING_CATEGORY(lcPlacement, "varnolt.placement", QtWarningMsg)
}

CornerPlacement::CornerPlacement(QWidget &window, int distanceTwips)
    : m_window(window)
{
    const QRect area = m_window.screen()->geometry();
    const int distance = Twips::toPixels(distanceTwips, m_window);
    m_frameTopRight = QPoint(area.right() - distance, area.top() + distance);
    place();
    m_window.installEventFilter(this);
}

CornerPlacement::~CornerPlacement()
{
    m_window.removeEventFilter(this);
}

WindowFrame::Frame CornerPlacement::frameNow() const
{
    if (const std::optional<WindowFrame::Frame> frame = WindowFrame::current(m_window))
        return *frame;
    const QRect outer = m_window.frameGeometry();
    const QRect inner = m_window.geometry();
    return {outer,
        QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom())};
}

void CornerPlacement::place()
{
    if (m_sides) {
        // The window itself goes inside the frame; the window manager puts the frame around it.
        const QPoint client(
            m_frameTopRight.x() - m_sides->right() - m_window.width() + 1, m_frameTopRight.y() + m_sides->top());
        m_window.setGeometry(QRect(client, m_window.size()));
    } else {
        // The window manager puts the frame's top-left corner at the position given, so only
        // the borders' width can still be missing on the right.
        m_window.move(m_frameTopRight.x() + 1 - m_window.frameGeometry().width(), m_frameTopRight.y());
    }
}

void CornerPlacement::frameSeen(bool painted)
{
    const WindowFrame::Frame frame = frameNow();
    if (frame.sides.isNull()) {
        // Nothing frames a painted window: there is no window manager to ask any more.
        m_awaitingFrame = m_awaitingFrame && !painted;
        return;
    }
    if (m_awaitingFrame) {
        // The first sight of the frame after a show: the window is placed again if the frame
        // was unknown before or differs from the one expected.
        m_awaitingFrame = false;
        if (frame.sides != m_sides || frame.outer.topRight() != m_frameTopRight) {
            qCDebug(lcPlacement) << "placed again in its frame" << frame.sides;
            m_sides = frame.sides;
            place();
        }
        return;
    }
    // Moved by the user or the window manager: it comes back there after a hide.
    m_sides = frame.sides;
    m_frameTopRight = frame.outer.topRight();
}

bool CornerPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // Sent before the window is mapped: the moment to place it without a jump. A
        // spontaneous one is the window manager restoring a minimised window, still in place.
        if (event->spontaneous())
            break;
        if (!m_sides) {
            m_sides = WindowFrame::estimate(m_window);
            qCDebug(lcPlacement) << "frame before the show:" << (m_sides ? *m_sides : QMargins());
        }
        place();
        m_awaitingFrame = true;
        break;
    case QEvent::Paint:
        // The window manager frames a window before it maps it, so by its first paint.
        if (m_awaitingFrame && m_window.isVisible())
            frameSeen(true);
        break;
    case QEvent::Move:
        if (m_window.isVisible() && !m_window.isMinimized() && (m_awaitingFrame || event->spontaneous()))
            frameSeen(false);
        break;
    case QEvent::Hide:
        m_awaitingFrame = false;
        break;
    default:
        break;
    }
    return false;
}
