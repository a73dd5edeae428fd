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

LabelBlink::~LabelBlink()
{
    cutShort();
}

void LabelBlink::start(QLabel *label)
{
    // A blink under way is ended first, so that what is kept is the label's own look and
    // never the red or the bold of the blink.
    cutShort();
    m_label = label;
    if (!m_label)
        return;
    m_ownFont = m_label->testAttribute(Qt::WA_SetFont);
    m_ownPalette = m_label->testAttribute(Qt::WA_SetPalette);
    m_foundFont = m_label->font();
    m_foundPalette = m_label->palette();
    m_startMsecs = m_clock.monotonicMsecs();
    show(true);
    m_timer.start();
}

void LabelBlink::cutShort()
{
    if (m_timer.isActive())
        restore();
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
        restore();
        return;
    }
    show(!m_bold);
}

void LabelBlink::show(bool bold)
{
    m_bold = bold;
    // Only the weight and the text colour are the blink's: size and family stay the label's.
    QFont font = m_ownFont ? m_foundFont : QFont();
    font.setBold(bold);
    m_label->setFont(font);
    QPalette palette = m_ownPalette ? m_foundPalette : QPalette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, QColor(0xff, 0, 0));
    m_label->setPalette(palette);
}

void LabelBlink::restore()
{
    if (!m_label)
        return;
    // An empty font or palette, set on a widget, gives it back what it inherits.
    m_label->setFont(m_ownFont ? m_foundFont : QFont());
    m_label->setPalette(m_ownPalette ? m_foundPalette : QPalette());
    m_bold = false;
}
