// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class Clock;
class QLabel;

// Draws the eye to a label: red, bold and plain by turns once a second for four seconds,
// then plain and black. The four seconds are the run's monotonic clock's, so that a late
// tick neither lengthens the blink nor leaves the label red.
class LabelBlink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LabelBlink)

public:
    static constexpr int TickMsecs = 1000;
    static constexpr int LengthMsecs = 4000;

    LabelBlink(const Clock &clock, QObject *parent = nullptr);

    // Starts (or starts again) on the label: red and bold at once.
    void start(QLabel *label);
    // A blink cut short leaves the label as it always is.
    void cutShort();

private:
    void tick();

    const Clock &m_clock;
    QPointer<QLabel> m_label;
    QTimer m_timer {this}; // its object name, "blinkTick", lets a test hurry the ticks
    qint64 m_startMsecs = 0;
};
