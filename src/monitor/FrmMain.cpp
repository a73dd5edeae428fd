// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/FrmMain.h"

#include "controls/PlatformColor.h"
#include "controls/Throughput.h"
#include "core/Settings.h"
#include "desktop/ReadableColor.h"
#include "desktop/TextFit.h"
#include "desktop/Twips.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace {

// The layout's client area; the window's heights count the title bar and borders on top.
constexpr int ClientWidth = 4125;
constexpr int FrameHeight = 375;
// The designed rows: a line 255 twips high every 360 twips from 120 down, with 90 below the
// last one in the normal height.
constexpr int RowTop = 120;
constexpr int RowPitch = 360;
constexpr int RowHeight = 255;
constexpr int BottomMargin = 90;
constexpr int LineLeft = 120;
constexpr int LineWidth = 3975;
constexpr int RateLineTop = 840;

constexpr quint32 Green = 0x0000FF00;
constexpr quint32 Red = 0x000000FF;

QColor stepColor(VolumeAlert alert, const QPalette &palette)
{
    switch (alert) {
    case VolumeAlert::Green:
        return PlatformColor::toColor(0x8000, palette);
    case VolumeAlert::Orange:
        return PlatformColor::toColor(0x80FF, palette);
    case VolumeAlert::Red:
        return PlatformColor::toColor(0xFF, palette);
    case VolumeAlert::Initial:
        break;
    }
    return palette.color(QPalette::WindowText);
}

// The step's hue, readable on the window's background whatever the theme.
QColor alertColor(VolumeAlert alert, const QPalette &palette)
{
    return ReadableColor::against(stepColor(alert, palette), palette.color(QPalette::Window));
}

} // namespace

FrmMain::FrmMain(QWidget *parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(
        QStringLiteral("Varnolt %1 %2").arg(VARNOLT_VERSION_MAJOR).arg(QStringLiteral(VARNOLT_VERSION_COMMENT)));
    m_timer.setInterval(PollIntervalMsecs);
    m_body = new QWidget(this);
    setHeightTwips(NormalHeight);
}

void FrmMain::buildControls()
{
    if (m_download)
        return;
    // Small type, so that the longest rate line fits the window as it does on the layout.
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);

    TextFit::widen(label(QStringLiteral("In :"), {120, 120, 375, 255}, Qt::AlignRight), TextFit::Anchor::Right);
    m_download = label({}, {600, 120, 1335, 255});
    m_downGraph = graph(Green, false, {2160, 120, GraphWidthTwips, 255});
    TextFit::widen(label(QStringLiteral("Out :"), {0, 480, 495, 255}, Qt::AlignRight), TextFit::Anchor::Right);
    m_upload = label({}, {600, 480, 1335, 255});
    // The upload graph hangs its bars from the top edge, mirroring the download graph.
    m_upGraph = graph(Red, true, {2160, 480, GraphWidthTwips, 255});
    m_rateLine = label({}, {120, RateLineTop, 3975, 255});
    m_volumeLeft = label(QStringLiteral("50 % left - 20 MB Left"), {120, 1200, 3975, 255});

    // What the poll gave the window before it had its controls.
    showAlert();
    for (Throughput *graph : {m_downGraph, m_upGraph}) {
        graph->setMax(m_graphMax);
        graph->setToolTip(m_graphToolTip);
    }
    for (const auto &[download, upload] : std::as_const(m_pendingValues)) {
        m_downGraph->addValue(download);
        m_upGraph->addValue(upload);
    }
    m_pendingValues.clear();
    fitSize(); // a problem line that came before the small type
}

QLabel *FrmMain::label(const QString &text, const QRect &twips, Qt::Alignment alignment)
{
    auto *widget = new QLabel(text, m_body);
    widget->setAlignment(alignment | Qt::AlignVCenter);
    place(widget, twips);
    return widget;
}

Throughput *FrmMain::graph(quint32 foreColor, bool inverted, const QRect &twips)
{
    auto *widget = new Throughput(m_body);
    widget->setBackColor(PlatformColor::SystemFlag | PlatformColor::GrayText);
    widget->setForeColor(foreColor);
    widget->setBarWidth(2);
    widget->setFlat(true);
    widget->setInverted(inverted);
    widget->setMax(150);
    place(widget, twips);
    return widget;
}

void FrmMain::place(QWidget *widget, const QRect &twips)
{
    widget->setGeometry(Twips::toPixels(twips.x(), *this), Twips::toPixels(twips.y(), *this),
        Twips::toPixels(twips.width(), *this), Twips::toPixels(twips.height(), *this));
}

int FrmMain::heightFor(const Settings &settings)
{
    if (settings.dblClickState() == Settings::MiniMonitor)
        return MiniHeight;
    return settings.whatsLeft() ? VolumeLeftHeight : NormalHeight;
}

void FrmMain::setHeightTwips(int twips)
{
    m_heightTwips = twips;
    fitSize();
}

void FrmMain::fitSize()
{
    // The mini state's designed height is the title bar alone: the window keeps the rate
    // line below it, the body moved up so that the rows above it are wholly out of sight.
    const bool mini = isMini();
    const int gap = RowPitch - RowHeight;
    const int designed = mini ? gap + RowHeight + BottomMargin : std::max(0, m_heightTwips - FrameHeight);
    const int hidden = mini ? Twips::toPixels(RateLineTop - gap, *this) : 0;
    const int width = Twips::toPixels(ClientWidth, *this);
    m_body->setGeometry(0, -hidden, width, hidden + Twips::toPixels(designed, *this));
    int client = Twips::toPixels(designed, *this);
    // In the rows below what the state shows: what the figures count (in the mini state only
    // while the router does not answer), then why they are not logged; the window grows to
    // hold each whole line, wrapped when it is long.
    int top = Twips::toPixels(RowTop + std::max(0, (designed - RowTop + RowPitch - 1) / RowPitch) * RowPitch, *this);
    const bool sourceShown = !m_source.isEmpty() && (!mini || m_source.silent);
    if (m_sourceLine)
        m_sourceLine->setVisible(sourceShown);
    for (QLabel *line : {sourceShown ? m_sourceLine : nullptr, m_storeProblem.isEmpty() ? nullptr : m_problemLine}) {
        if (!line)
            continue;
        const int lineWidth = Twips::toPixels(LineWidth, *this);
        const int lineHeight = std::max(Twips::toPixels(RowHeight, *this), line->heightForWidth(lineWidth));
        line->setGeometry(Twips::toPixels(LineLeft, *this), top, lineWidth, lineHeight);
        client = line->geometry().bottom() + 1 + Twips::toPixels(BottomMargin, *this);
        top = line->geometry().bottom() + 1 + Twips::toPixels(RowPitch - RowHeight, *this);
    }
    setFixedSize(width, std::max(1, client));
}

void FrmMain::setVisible(bool visible)
{
    // Children made after Qt has shown a window's children stay hidden: the controls must
    // exist before the window shows, whoever shows it.
    if (visible && !isVisible()) {
        Q_EMIT figuresWanted();
        showFigures();
    }
    QWidget::setVisible(visible);
}

void FrmMain::showEvent(QShowEvent *event)
{
    fitRateLine();
    setCaption(m_caption);
    QWidget::showEvent(event);
    reportShown();
}

void FrmMain::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    reportShown();
}

void FrmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isShown() && !m_shown) {
        // Restored: what came while it was minimised.
        Q_EMIT figuresWanted();
        showFigures();
        setCaption(m_caption);
    }
    if (event->type() == QEvent::WindowStateChange)
        reportShown();
    if (event->type() == QEvent::FontChange)
        m_rateLineFitted = -1;
    // A new theme: the step's colour is made readable on it afresh.
    if (event->type() == QEvent::PaletteChange && m_volumeLeft)
        showAlert();
}

void FrmMain::reportShown()
{
    if (isShown() == m_shown)
        return;
    m_shown = isShown();
    Q_EMIT shownChanged(m_shown);
}

void FrmMain::showAlert()
{
    QPalette colours = m_volumeLeft->palette();
    colours.setColor(QPalette::WindowText, alertColor(m_alert, palette()));
    m_volumeLeft->setPalette(colours);
}

void FrmMain::setStoreProblem(const StoreProblem &problem)
{
    if (problem == m_storeProblem)
        return;
    m_storeProblem = problem;
    if (!problem.isEmpty() && !m_problemLine) {
        m_problemLine = lineBelow();
        QPalette colours = m_problemLine->palette();
        colours.setColor(QPalette::WindowText, alertColor(VolumeAlert::Red, palette()));
        m_problemLine->setPalette(colours);
    }
    if (m_problemLine) {
        m_problemLine->setText(problem.isEmpty() ? QString() : problem.line());
        m_problemLine->setToolTip(problem.isEmpty() ? QString() : problem.message());
        m_problemLine->setVisible(!problem.isEmpty());
    }
    fitSize();
    // The tray tells the problem with the newest figures, and the next poll's at once.
    showTip();
    m_tipDue = true;
    Q_EMIT storeProblemChanged(problem);
}

void FrmMain::setSourceLine(const SourceLine &line)
{
    if (line == m_source)
        return;
    const bool textChanged = line.text != m_source.text;
    m_source = line;
    if (!line.isEmpty() && !m_sourceLine)
        m_sourceLine = lineBelow();
    if (m_sourceLine) {
        m_sourceLine->setText(line.text);
        m_sourceLine->setToolTip(line.why);
        QPalette colours = m_sourceLine->palette();
        colours.setColor(
            QPalette::WindowText, line.silent ? alertColor(VolumeAlert::Red, palette()) : palette().color(QPalette::WindowText));
        m_sourceLine->setPalette(colours);
    }
    fitSize();
    if (textChanged) {
        showTip();
        m_tipDue = true;
        Q_EMIT sourceLineChanged(line.text);
    }
}

QLabel *FrmMain::lineBelow()
{
    // A router's name and a database's words are shown as they are, never as markup.
    auto *line = new QLabel(this);
    line->setTextFormat(Qt::PlainText);
    line->setWordWrap(true);
    line->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return line;
}

void FrmMain::setPollTimerEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    // The window manager's close button hides the monitor; the program goes on in the tray.
    event->ignore();
    hide();
}

void FrmMain::mousePressEvent(QMouseEvent *event)
{
    // A window manager may leave the keyboard where it was on a click (openbox without a
    // Focus binding does): the window asks for it, so that Alt+Space and F1 reach it.
    activateWindow();
    QWidget::mousePressEvent(event);
}

void FrmMain::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (isMini())
        Q_EMIT normalSizeRequested();
    QWidget::mouseDoubleClickEvent(event);
}

void FrmMain::contextMenuEvent(QContextMenuEvent *event)
{
    Q_EMIT menuRequested(event->globalPos());
}

void FrmMain::keyPressEvent(QKeyEvent *event)
{
    // Alt+Space, where the window manager's own title-bar menu would open.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier) {
        Q_EMIT menuRequested(mapToGlobal(QPoint(0, 0)));
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrmMain::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1 && !event->isAutoRepeat()) {
        Q_EMIT helpRequested();
        return;
    }
    QWidget::keyReleaseEvent(event);
}
