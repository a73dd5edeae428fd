#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>

#include <optional>

class QWidget;

// Puts a window's outer frame, the window manager's title bar and borders included, at a
// distance from the screen's top-right corner when the window is first shown. The user may
// move it afterwards; shown again, it comes back where it was hidden.
class CornerPlacement final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CornerPlacement)

public:
    CornerPlacement(QWidget &window, int distanceTwips);
    ~CornerPlacement() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Moves the window so that its frame's top-right corner lies on m_frameTopRight.
    void place();
    // The frame around the window as Qt knows it now; nothing while it is unknown.
    std::optional<QMargins> knownFrame() const;

    QWidget &m_window;
    QPoint m_frameTopRight;
    std::optional<QMargins> m_frame;
    bool m_awaitingFrame = false;
};
