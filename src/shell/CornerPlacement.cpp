#include "shell/CornerPlacement.h"

#include "monitor/Twips.h"
#include "shell/FrameExtents.h"

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

std::optional<QMargins> CornerPlacement::knownFrame() const
{
    const QRect outer = m_window.frameGeometry();
    const QRect inner = m_window.geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom());
    return frame.isNull() ? std::nullopt : std::optional(frame);
}

void CornerPlacement::place()
{
    if (m_frame) {
        // The window itself goes inside the frame; the window manager puts the frame around it.
        const QPoint client(
            m_frameTopRight.x() - m_frame->right() - m_window.width() + 1, m_frameTopRight.y() + m_frame->top());
        m_window.setGeometry(QRect(client, m_window.size()));
    } else {
        // The window manager puts the frame's top-left corner at the position given, so only
        // the borders' width can still be missing on the right.
        m_window.move(m_frameTopRight.x() + 1 - m_window.frameGeometry().width(), m_frameTopRight.y());
    }
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
        if (!m_frame) {
            m_frame = FrameExtents::estimate(m_window);
            qCDebug(lcPlacement) << "frame before the show:" << (m_frame ? *m_frame : QMargins());
        }
        place();
        m_awaitingFrame = true;
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Paint:
        // The window manager has framed the window by its first paint (or it moved the window
        // into the frame): the frame is known now, and the window is placed again if the
        // estimate was missing or wrong.
        if (m_awaitingFrame && m_window.isVisible()) {
            const std::optional<QMargins> frame = knownFrame();
            if (!frame)
                break;
            m_awaitingFrame = false;
            if (frame != m_frame || m_window.frameGeometry().topRight() != m_frameTopRight) {
                qCDebug(lcPlacement) << "placed again in its frame" << *frame;
                m_frame = frame;
                place();
            }
        }
        break;
    case QEvent::Hide:
        // Where the user left it, for the next show.
        if (!event->spontaneous() && !m_awaitingFrame) {
            if (const std::optional<QMargins> frame = knownFrame()) {
                m_frame = frame;
                m_frameTopRight = m_window.frameGeometry().topRight();
            }
        }
        m_awaitingFrame = false;
        break;
    default:
        break;
    }
    return false;
}
