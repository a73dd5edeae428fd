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
    , m_distanceTwips(distanceTwips)
{
    placeFrame();
    m_window.installEventFilter(this);
}

CornerPlacement::~CornerPlacement()
{
    m_window.removeEventFilter(this);
}

int CornerPlacement::distance() const
{
    return Twips::toPixels(m_distanceTwips, m_window);
}

void CornerPlacement::placeFrame()
{
    // Before the frame is known: the window manager puts the frame's top-left corner at the
    // position given, so only the borders' width can still be missing on the right.
    const QRect area = m_window.screen()->geometry();
    m_window.move(area.right() + 1 - distance() - m_window.frameGeometry().width(), area.top() + distance());
}

void CornerPlacement::placeWithin(const QMargins &frame)
{
    const QRect area = m_window.screen()->geometry();
    const QPoint client(
        area.right() + 1 - distance() - frame.right() - m_window.width(), area.top() + distance() + frame.top());
    m_window.setGeometry(QRect(client, m_window.size()));
}

bool CornerPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // Sent before the window is mapped: the one moment to place it without a jump. (A
        // spontaneous one comes from the window manager restoring the window.)
        if (!m_placed && !event->spontaneous()) {
            m_placed = true;
            m_awaitingFrame = true;
            const auto frame = FrameExtents::estimate(m_window);
            if (frame) {
                qCDebug(lcPlacement) << "frame before the first show:" << *frame;
                placeWithin(*frame);
            } else {
                qCDebug(lcPlacement) << "frame unknown before the first show";
            }
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // The window manager has framed the window: the frame is known now, and the window is
        // placed again if the estimate was missing or wrong.
        if (m_awaitingFrame) {
            const QRect outer = m_window.frameGeometry();
            const QRect inner = m_window.geometry();
            const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                outer.bottom() - inner.bottom());
            if (frame.isNull())
                break;
            m_awaitingFrame = false;
            const QRect area = m_window.screen()->geometry();
            if (outer.topRight() != QPoint(area.right() - distance(), area.top() + distance())) {
                qCDebug(lcPlacement) << "placed again in its frame" << frame;
                placeWithin(frame);
            }
        }
        break;
    case QEvent::Hide:
        if (!event->spontaneous())
            m_awaitingFrame = false;
        break;
    default:
        break;
    }
    return false;
}
