// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/OptionsControls.h"

#include "core/Settings.h"
#include "desktop/ReadableColor.h"
#include "desktop/TextFit.h"
#include "desktop/Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace {

// The dialog's client area in twips: the design's, and below the interfaces the router's group.
constexpr int RouterHeight = 2130;
constexpr int ClientWidth = 5280;
// A row more than the design's for the desktop notifications' box.
constexpr int NotifyRow = 255;
constexpr int ClientHeight = 3930 + NotifyRow + RouterHeight;

void showAll(const QList<QWidget *> &controls, bool shown)
{
    for (QWidget *control : controls)
        control->setVisible(shown);
}

} // namespace

QString OptionsControls::attentionText()
{
    return QStringLiteral("\r\nCaution !\r\n\r\nWhen you reset the database,\r\nall data is cleared.\r\n"
                          "The data can not be recovered.");
}

template<typename Control>
Control *OptionsControls::place(Control *control, QWidget *container, const QRect &twips)
{
    control->setParent(container);
    setTwipGeometry(control, twips);
    return control;
}

void OptionsControls::setTwipGeometry(QWidget *control, const QRect &twips)
{
    m_twips.insert(control, twips);
    QRect pixels(Twips::toPixels(twips.x(), m_dialog), Twips::toPixels(twips.y(), m_dialog),
        Twips::toPixels(twips.width(), m_dialog), Twips::toPixels(twips.height(), m_dialog));
    // The layout leaves no room for the row of tabs above the frame: what lies below the
    // row's top moves down by its height, so that no control covers a tab.
    if (control == tbPages)
        pixels.setHeight(pixels.height() + m_tabRow);
    else if (control->parentWidget() == &m_dialog)
        pixels.translate(0, m_tabRow);
    control->setGeometry(pixels);
}

void OptionsControls::makeControls()
{
    // Small type, as on the monitor window, so that the captions fit the layout's widths.
    QFont small = m_dialog.font();
    small.setPointSizeF(8);
    m_dialog.setFont(small);
    // The tab strip lies beneath everything: its pages are empty, the controls sit on top.
    tbPages = new QTabWidget(&m_dialog);
    for (const char *tab : {"General - Export", "Adapters", "Reset", "Volume Left"})
        tbPages->addTab(new QWidget, QString::fromLatin1(tab));
    m_tabRow = tbPages->tabBar()->sizeHint().height();
    QWidget *dialog = &m_dialog;
    place(tbPages, dialog, {120, 120, 5055, 2895 + NotifyRow + RouterHeight});
    brGeneral = place(new QGroupBox(QStringLiteral("General Options - Export Logs.")), dialog, {240, 240, 4215, 2655 + NotifyRow});
    chkDblClick = place(new QCheckBox(Settings::dblClickCaption(Settings::MonitorWindow)), dialog, {360, 480, 3975, 375});
    chkDblClick->setTristate(true);
    // As wide as the list below it: the layout's 2415 twips cut the caption's end off.
    txtAdapters = place(new QLabel(QStringLiteral("Select Adapter(s) to be logged :")), dialog, {360, 360, 3975, 255});
    lstAdapters = place(new QListWidget, dialog, {360, 720, 3975, 2010});
    lstAdapters->setSelectionMode(QAbstractItemView::MultiSelection);
    makeRouterControls();
    bttOK = place(new QPushButton(QStringLiteral("&OK")), dialog, {4200, 3240 + NotifyRow + RouterHeight, 975, 495});
    bttOK->setDefault(true);
    linkToWeb = place(new QLabel(QStringLiteral("Varnolt help")), dialog, {120, 3240 + NotifyRow + RouterHeight, 3855, 375});
    linkToWeb->setStyleSheet(QStringLiteral("color: %1; font-weight: bold; text-decoration: underline;")
            .arg(ReadableColor::against(Qt::blue, m_dialog.palette().color(QPalette::Window)).name()));
    linkToWeb->setCursor(Qt::PointingHandCursor);
    makeGeneralControls();
    bttClear = place(new QPushButton(QStringLiteral("Clear Database")), brGeneral, {120, 2040, 3975, 495});
    lblAttention = place(new QLabel, brGeneral, {120, 360, 3975, 1695});
    lblAttention->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;")
            .arg(ReadableColor::against(Qt::red, m_dialog.palette().color(QPalette::Window)).name()));
    lblAttention->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    makeVolumeLeftControls();
    // The tab order follows the pages' reading order.
    QWidget::setTabOrder(chkDblClick, chkkbits);
    QWidget::setTabOrder(lstAdapters, cboRouter);
    QWidget::setTabOrder(cboRouter, bttRouterSearch);
    QWidget::setTabOrder(bttRouterSearch, txtRouterUrl);
    QWidget::setTabOrder(txtRouterUrl, bttRouterUrl);
    QWidget::setTabOrder(txtMaxMB, txtperiod);
    QWidget::setTabOrder(txtperiod, cboPeriodType);
    QWidget::setTabOrder(cboPeriodType, txtStartnthDay);
    m_dialog.setFixedSize(
        Twips::toPixels(ClientWidth, m_dialog), Twips::toPixels(ClientHeight, m_dialog) + m_tabRow);
}

void OptionsControls::makeGeneralControls()
{
    QWidget *frame = brGeneral;
    chkkbits = place(new QCheckBox(QStringLiteral("Show Kbps - Mbps iso kBps.")), frame, {120, 600, 2775, 375});
    cboTransparent = place(new QComboBox, frame, {120, 1060, 615, 315});
    cboTransparent->addItems(Settings::transparencyItems());
    // To the frame's edge: the layout's 3015 twips cut the caption's end off.
    lblTransparent
        = place(new QLabel(QStringLiteral("% Transparancy for 'Monitor Window'.")), frame, {800, 1090, 3295, 255});
    lblExport2 = place(new QLabel(QStringLiteral("Export Log :")), frame, {120, 1580, 975, 255});
    cboChartType = place(new QComboBox, frame, {1200, 1520, 2415, 315});
    cboChartType->addItems({QStringLiteral("Per Day (MB)"), QStringLiteral("Per Week (GB)"),
        QStringLiteral("Per Month (GB)"), QStringLiteral("Per Year (GB)")});
    txtCsvFile = place(new QLineEdit, frame, {360, 2040, 2875, 375});
    bttBrowse = place(new QToolButton, frame, {3240, 2040, 375, 375});
    bttBrowse->setIcon(m_dialog.style()->standardIcon(QStyle::SP_DirOpenIcon));
    bttBrowse->setToolTip(QStringLiteral("Browse"));
    bttExport = place(new QToolButton, frame, {3720, 2040, 375, 375});
    bttExport->setIcon(m_dialog.style()->standardIcon(QStyle::SP_DialogSaveButton));
    bttExport->setToolTip(QStringLiteral("Export !"));
}

void OptionsControls::makeRouterControls()
{
    grpRouter = place(new QGroupBox(QStringLiteral("Meter the household through a router :")), &m_dialog,
        {360, 2820, 3975, RouterHeight - 90});
    QWidget *frame = grpRouter;
    cboRouter = place(new QComboBox, frame, {120, 300, 2535, 315});
    bttRouterSearch = place(new QPushButton(QStringLiteral("Search again")), frame, {2760, 285, 1095, 345});
    lblRouterStatus = place(new QLabel, frame, {120, 660, 3735, 255});
    lblRouterUrl = place(new QLabel(QStringLiteral("Address :")), frame, {120, 1020, 855, 255});
    txtRouterUrl = place(new QLineEdit, frame, {975, 990, 2080, 315});
    txtRouterUrl->setPlaceholderText(QStringLiteral("http://192.168.1.1:5000/rootDesc.xml"));
    bttRouterUrl = place(new QPushButton(QStringLiteral("Use")), frame, {3120, 975, 735, 345});
    lblRouterNote = place(new QLabel(QStringLiteral("A router meters the whole household: this computer's "
                                                    "interfaces are left out, so nothing is counted twice.")),
        frame, {120, 1380, 3735, 630});
    lblRouterNote->setWordWrap(true);
    lblRouterNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void OptionsControls::makeVolumeLeftControls()
{
    QWidget *frame = brGeneral;
    lblvolume1 = place(new QLabel(QStringLiteral("Maximum volume allowed (MB) :")), frame, {120, 240, 3015, 375});
    txtMaxMB = place(new QLineEdit(QStringLiteral("0")), frame, {3480, 240, 495, 315});
    // A little wider than the twips of old, and the period's field narrower (it holds at
    // most three digits), so that the texts of the Linux desktop's wider fonts fit.
    lblvolume2 = place(new QLabel(QStringLiteral("Track volume during last :")), frame, {120, 610, 2050, 375});
    txtperiod = place(new QLineEdit(QStringLiteral("0")), frame, {120, 960, 405, 315});
    cboPeriodType = place(new QComboBox, frame, {0, 0, 2415, 315});
    cboPeriodType->addItems(Settings::periodTypeItems());
    lblStartDay = place(new QLabel(QStringLiteral("Tracking start day (d):")), frame, {120, 600, 2655, 375});
    txtStartnthDay = place(new QLineEdit(QStringLiteral("1")), frame, {3480, 1080, 375, 285});
    lblpreview = place(new QLabel(QStringLiteral("...")), frame, {120, 1400, 3855, 500});
    lblpreview->setAlignment(Qt::AlignCenter);
    QFont previewFont = lblpreview->font();
    previewFont.setPointSizeF(13.5);
    lblpreview->setFont(previewFont);
    lblStartdate = place(new QLabel(QStringLiteral("Starting from")), frame, {1200, 1720, 2895, 375});
    chkWhatsleft
        = place(new QCheckBox(QStringLiteral("Show volume left on Monitor window.")), frame, {120, 960, 3855, 375});
    chkPlayMusic
        = place(new QCheckBox(QStringLiteral("Play a Warning sound (@ 30% and 15%)")), frame, {120, 2160, 3855, 255});
    chkNotify = place(new QCheckBox(QStringLiteral("Desktop notifications")), frame, {120, 2480, 3855, 255});
}

void OptionsControls::showPage(int page, bool layering)
{
    const QList<QWidget *> general {chkDblClick, chkkbits, bttExport, bttBrowse, cboChartType, lblExport2, txtCsvFile};
    const QList<QWidget *> transparency {cboTransparent, lblTransparent};
    const QList<QWidget *> adapters {lstAdapters, txtAdapters, grpRouter};
    const QList<QWidget *> reset {bttClear, lblAttention};
    const QList<QWidget *> volume {lblvolume1, txtMaxMB, lblvolume2, txtperiod, cboPeriodType, lblStartDay,
        txtStartnthDay, lblpreview, lblStartdate, chkWhatsleft, chkPlayMusic, chkNotify};
    switch (page) {
    case GeneralPage:
        showAll(adapters + reset + volume, false);
        brGeneral->setTitle(QStringLiteral("General Options - Export Logs."));
        brGeneral->show();
        showAll(general, true);
        showAll(transparency, layering);
        break;
    case AdaptersPage:
        showAll({brGeneral, chkDblClick}, false);
        showAll(adapters, true);
        break;
    case ResetPage:
        showAll(general + transparency + adapters + volume, false);
        brGeneral->setTitle(QStringLiteral("!!! CAUTION !!!"));
        lblAttention->setText(attentionText());
        brGeneral->show();
        showAll(reset, true);
        break;
    case VolumeLeftPage:
        showAll(general + transparency + adapters + reset, false);
        brGeneral->setTitle(QStringLiteral("Volume Left"));
        brGeneral->show();
        layOutVolumeLeftPage();
        showAll(volume, true);
        txtStartnthDay->setVisible(cboPeriodType->currentIndex() == 2);
        lblStartDay->setVisible(cboPeriodType->currentIndex() == 2);
        break;
    default:
        break;
    }
    fitTexts();
}

void OptionsControls::layOutVolumeLeftPage()
{
    // Each step places a control from the places the steps before it have set.
    const QRect volume1 = twipGeometry(lblvolume1);
    const QRect volume2 = twipGeometry(lblvolume2);
    QRect periodType = twipGeometry(cboPeriodType);
    periodType.setWidth(1590);
    periodType.moveTop(volume2.top() - 10);
    QRect period = twipGeometry(txtperiod);
    period.moveTopLeft({volume2.left() + volume2.width() + 20, volume2.top() - 10});
    setTwipGeometry(txtperiod, period);
    periodType.moveLeft(period.left() + period.width() + 5);
    setTwipGeometry(cboPeriodType, periodType);

    QRect maxMB = twipGeometry(txtMaxMB);
    maxMB.moveTop(volume1.top() - 15);
    maxMB.setWidth(1000);
    maxMB.moveLeft(periodType.left() + periodType.width() - maxMB.width());
    setTwipGeometry(txtMaxMB, maxMB);

    const QRect startDay(period.left(), volume2.top() + volume2.height() + 20, period.width(),
        twipGeometry(txtStartnthDay).height());
    setTwipGeometry(txtStartnthDay, startDay);
    QRect startDayLabel = twipGeometry(lblStartDay);
    startDayLabel.moveTopLeft({volume1.left(), startDay.top()});
    setTwipGeometry(lblStartDay, startDayLabel);

    QRect whatsLeft = twipGeometry(chkWhatsleft);
    whatsLeft.moveTop(twipGeometry(lblStartdate).top() + 525);
    setTwipGeometry(chkWhatsleft, whatsLeft);
    QRect playMusic = twipGeometry(chkPlayMusic);
    playMusic.moveTopLeft({whatsLeft.left(), whatsLeft.top() - 200});
    setTwipGeometry(chkPlayMusic, playMusic);
    setTwipGeometry(chkNotify, whatsLeft.translated(0, 255));
}

void OptionsControls::fitTexts()
{
    // The rows as the pages read them: a control that grows to its text pushes the rest of
    // its row along; then the frames, the tab strip and the dialog grow to hold them.
    for (QComboBox *combo : {cboTransparent, cboChartType, cboRouter, cboPeriodType})
        TextFit::showLongestEntry(combo);
    for (const QList<QWidget *> &row : QList<QList<QWidget *>> {{cboTransparent, lblTransparent},
             {lblExport2, cboChartType}, {cboRouter, bttRouterSearch}, {lblRouterUrl, txtRouterUrl, bttRouterUrl}})
        TextFit::flowRow(row, 0);
    TextFit::flowRow({lblvolume2, txtperiod, cboPeriodType}, Twips::toPixels(20, m_dialog));
    for (QWidget *control : QList<QWidget *> {chkDblClick, txtAdapters, lblRouterNote, chkkbits,
             bttClear, lblvolume1, lblStartDay, lblpreview, lblStartdate, chkWhatsleft, chkPlayMusic, chkNotify, bttOK})
        TextFit::widen(control);
    // The allowance's field ends where the period's list ends.
    txtMaxMB->move(cboPeriodType->geometry().right() + 1 - txtMaxMB->width(), txtMaxMB->y());
    const int margin = Twips::toPixels(120, m_dialog);
    TextFit::holdChildren(grpRouter, margin);
    TextFit::holdChildren(brGeneral, margin);
    QRect pages = tbPages->geometry();
    for (const QWidget *frame : {static_cast<QWidget *>(brGeneral), static_cast<QWidget *>(grpRouter)}) {
        pages.setRight(std::max(pages.right(), frame->geometry().right() + margin));
        pages.setBottom(std::max(pages.bottom(), frame->geometry().bottom() + margin));
    }
    // What lies below the tab strip (OK and the help link) moves down as far as it grew.
    const int lower = pages.bottom() - tbPages->geometry().bottom();
    for (QWidget *below : {static_cast<QWidget *>(bttOK), static_cast<QWidget *>(linkToWeb)})
        below->move(below->x(), below->y() + lower);
    tbPages->setGeometry(pages);
    const QSize dialog = m_dialog.size().expandedTo({pages.right() + 1 + margin, m_dialog.height() + lower});
    if (dialog != m_dialog.size())
        m_dialog.setFixedSize(dialog);
}
