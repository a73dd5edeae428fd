// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/WindowFrame.h"

#include <QObject>
#include <QPoint>

#include <optional>

class QWidget;

// Puts a window's outer frame, the window manager's title bar and borders included, at a
// distance from the screen's top-right corner when the window is first shown. The user may
// move it afterwards; shown again, it comes back where it was last seen.
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
    // The frame now, from the display server where it can be asked, else from Qt.
    WindowFrame::Frame frameNow() const;
    // Checks the frame after a show, or remembers where the window was moved.
    void frameSeen(bool painted);

    QWidget &m_window;
    QPoint m_frameTopRight;
    std::optional<QMargins> m_sides;
    bool m_awaitingFrame = false;
};
