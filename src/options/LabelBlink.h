// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QTimer>

class Clock;
class QLabel;

// Draws the eye to a label: red, bold and plain by turns once a second for four seconds,
// then as it was. The four seconds are the run's monotonic clock's, so that a late tick
// neither lengthens the blink nor leaves the label red. The label gets back exactly the font
// and the palette it had, its own or inherited, so that it goes on following the dialog's
// font and the desktop's palette (a dark one included) as if it had never blinked.
class LabelBlink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LabelBlink)

public:
    static constexpr int TickMsecs = 1000;
    static constexpr int LengthMsecs = 4000;

    LabelBlink(const Clock &clock, QObject *parent = nullptr);
    ~LabelBlink() override;

    // Starts (or starts again) on the label: red and bold at once.
    void start(QLabel *label);
    // A blink cut short leaves the label as it was before the blink.
    void cutShort();
    bool isBlinking() const { return m_timer.isActive(); }

private:
    void tick();
    void show(bool bold);
    void restore();

    const Clock &m_clock;
    QPointer<QLabel> m_label;
    QTimer m_timer {this}; // its object name, "blinkTick", lets a test hurry the ticks
    qint64 m_startMsecs = 0;
    bool m_bold = false;
    // What the label had before the blink: its font and palette, and whether they were its
    // own (set on it) or inherited from the dialog.
    QFont m_foundFont;
    QPalette m_foundPalette;
    bool m_ownFont = false;
    bool m_ownPalette = false;
};
