// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/LabelBlink.h"

#include "core/Clock.h"

#include <QLabel>

LabelBlink::LabelBlink(const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
{
    m_timer.setObjectName(QStringLiteral("blinkTick"));
    m_timer.setInterval(TickMsecs);
    connect(&m_timer, &QTimer::timeout, this, &LabelBlink::tick);
}

void LabelBlink::start(QLabel *label)
{
    m_label = label;
    m_label->setStyleSheet(QStringLiteral("color: #ff0000; font-weight: bold;"));
    m_startMsecs = m_clock.monotonicMsecs();
    m_timer.start();
}

void LabelBlink::cutShort()
{
    if (m_timer.isActive() && m_label)
        m_label->setStyleSheet(QString());
    m_timer.stop();
}

void LabelBlink::tick()
{
    if (!m_label) {
        m_timer.stop();
        return;
    }
    // The last tick falls a little before the four seconds are over.
    if (m_clock.monotonicMsecs() - m_startMsecs >= LengthMsecs - 100) {
        m_timer.stop();
        m_label->setStyleSheet(QStringLiteral("color: #000000; font-weight: normal;"));
        return;
    }
    const bool bold = m_label->styleSheet().contains(QLatin1String("bold"));
    m_label->setStyleSheet(bold ? QStringLiteral("color: #ff0000; font-weight: normal;")
                                : QStringLiteral("color: #ff0000; font-weight: bold;"));
}
