// SPDX-License-Identifier: GPL-3.0-or-later
// What the poll fills in: kept while nobody sees the window, drawn when it is seen and has
// changed.
#include "monitor/FrmMain.h"

#include "controls/Throughput.h"
#include "desktop/Twips.h"

#include <QLabel>

namespace {

constexpr qreal MinRateLinePoints = 6;

} // namespace

void FrmMain::showFigures()
{
    buildControls();
    // A label is touched only when its text changed: each change repaints its own region.
    const auto show = [](QLabel *label, const QString &text) {
        if (label->text() != text)
            label->setText(text);
    };
    show(m_download, m_downloadText);
    show(m_upload, m_uploadText);
    show(m_rateLine, m_rateText);
    if (!m_volumeLeftText.isNull())
        show(m_volumeLeft, m_volumeLeftText);
    m_downGraph->catchUp();
    m_upGraph->catchUp();
}

void FrmMain::setDownloadText(const QString &text)
{
    m_downloadText = text;
    if (isShown() && m_download->text() != text)
        m_download->setText(text);
}

void FrmMain::setUploadText(const QString &text)
{
    m_uploadText = text;
    if (isShown() && m_upload->text() != text)
        m_upload->setText(text);
}

void FrmMain::setCaption(const QString &text)
{
    // Each new title is two properties on the X server and their notices back: it is set
    // when it changes and someone sees it.
    m_caption = text;
    if (isShown() && !text.isNull() && windowTitle() != text)
        setWindowTitle(text);
}

void FrmMain::setRateLine(const QString &text)
{
    m_rateText = text;
    if (!isShown() || m_rateLine->text() == text)
        return;
    m_rateLine->setText(text);
    fitRateLine();
}

void FrmMain::fitRateLine()
{
    // Measuring text loads the fonts: a hidden window, as at start-up, leaves it for later.
    if (!m_rateLine || !isVisible())
        return;
    // The longest line (53 characters) must fit the label whatever the desktop's font: the
    // type shrinks, down to a legible minimum, rather than the maximum being cut off. Its
    // digits are as wide as each other, so the fit changes only with the line's length.
    const QString text = m_rateLine->text();
    if (text.size() == m_rateLineFitted)
        return;
    m_rateLineFitted = text.size();
    QFont type = font();
    while (type.pointSizeF() > MinRateLinePoints && QFontMetrics(type).horizontalAdvance(text) > m_rateLine->width())
        type.setPointSizeF(type.pointSizeF() - 0.5);
    if (type != m_rateLine->font())
        m_rateLine->setFont(type);
}

void FrmMain::setGraphMax(int max)
{
    // A new scale redraws every bar, so only a change is passed on.
    if (max == m_graphMax)
        return;
    m_graphMax = max;
    if (m_downGraph) {
        m_downGraph->setMax(max);
        m_upGraph->setMax(max);
    }
}

void FrmMain::addGraphValues(int download, int upload)
{
    if (!m_downGraph) {
        // The graphs' width in bars of two pixels (a partial one at the left edge included).
        if (m_pendingBars == 0)
            m_pendingBars = Twips::toPixels(GraphWidthTwips, *this) / 2 + 1;
        if (m_pendingValues.size() >= m_pendingBars)
            m_pendingValues.removeFirst();
        m_pendingValues.append({download, upload});
        return;
    }
    m_downGraph->addValue(download);
    m_upGraph->addValue(upload);
}

void FrmMain::setGraphToolTip(const QString &text)
{
    if (text == m_graphToolTip)
        return;
    m_graphToolTip = text;
    if (m_downGraph) {
        m_downGraph->setToolTip(text);
        m_upGraph->setToolTip(text);
    }
}

void FrmMain::setVolumeLeft(const QString &text, VolumeAlert alert)
{
    m_volumeLeftText = text;
    const bool changed = alert != m_alert;
    m_alert = alert;
    if (!m_volumeLeft)
        return;
    // Its text and colour change seldom (by the MB, by the step): they follow once it exists.
    if (m_volumeLeft->text() != text)
        m_volumeLeft->setText(text);
    if (changed)
        showAlert();
}

void FrmMain::setTrayTip(const QString &text, qint64 atMsecs)
{
    m_trayTip = text;
    if (text == m_shownTip)
        return;
    if (m_tipDue || atMsecs - m_tipShownAt >= TipIntervalMsecs || atMsecs < m_tipShownAt) {
        m_tipShownAt = atMsecs;
        showTip();
    }
}

void FrmMain::showTip()
{
    m_tipDue = false;
    if (m_trayTip == m_shownTip)
        return;
    m_shownTip = m_trayTip;
    Q_EMIT trayTipChanged(m_shownTip);
}
