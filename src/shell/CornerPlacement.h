#pragma once

#include <QMargins>
#include <QObject>

class QWidget;

// Keeps a window's outer frame, the window manager's title bar and borders included, at a
// distance from the screen's top-right corner. The window is placed once, when it is first
// shown; afterwards the user may move it and it keeps that place when shown again.
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
    // The window without its frame, so that the frame lands on the corner.
    void placeWithin(const QMargins &frame);
    void placeFrame();
    int distance() const;

    QWidget &m_window;
    int m_distanceTwips;
    bool m_placed = false;
    bool m_awaitingFrame = false;
};
