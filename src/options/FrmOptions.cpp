// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/FrmOptions.h"

#include "core/CsvExport.h"
#include "core/LogReset.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/FormatDateText.h"
#include "core/store/JetConvert.h"
#include "core/traffic/VolumeLeftText.h"
#include "monitor/FrmMain.h"
#include "desktop/Twips.h"
#include "options/AllowanceFields.h"
#include "desktop/AppIcon.h"
#include "desktop/DesktopServices.h"
#include "desktop/MessageBox.h"
#include "desktop/Transparency.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace {

// The dialog's client area in twips.
constexpr int ClientWidth = 5280;
constexpr int ClientHeight = 3930;

// A check box's value as stored (0 off, 1 on, 2 grey) and as Qt holds it.
Qt::CheckState checkStateFor(int value)
{
    return value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

int valueOf(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

// A list position the list has, else its first.
int positionIn(int position, int count)
{
    return position >= 0 && position < count ? position : 0;
}

// Shows the wait cursor while it lives.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    Q_DISABLE_COPY_MOVE(WaitCursor)
};

} // namespace

FrmOptions::FrmOptions(Parts parts, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , m_settings(parts.settings)
    , m_clock(parts.clock)
    , m_volumeLeft(parts.volumeLeft)
    , m_monitor(parts.monitor)
    , m_databasePath(std::move(parts.databasePath))
    , m_helpPage(std::move(parts.helpPage))
{
    setWindowTitle(caption());
    setWindowIcon(AppIcon::icon());
}

FrmOptions::~FrmOptions() = default;

void FrmOptions::buildControls()
{
    if (m_built)
        return;
    m_built = true;
    // Small type, as on the monitor window, so that the captions fit the layout's widths.
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);
    createControls();
    setFixedSize(Twips::toPixels(ClientWidth, *this), Twips::toPixels(ClientHeight, *this) + m_tabRow);
    loadControls();
    connectControls();
    pageChosen(GeneralPage);
}

template<typename Control>
Control *FrmOptions::place(Control *control, QWidget *container, const QRect &twips)
{
    control->setParent(container);
    setTwipGeometry(control, twips);
    return control;
}

void FrmOptions::setTwipGeometry(QWidget *control, const QRect &twips)
{
    m_twips.insert(control, twips);
    QRect pixels(Twips::toPixels(twips.x(), *this), Twips::toPixels(twips.y(), *this),
        Twips::toPixels(twips.width(), *this), Twips::toPixels(twips.height(), *this));
    // The layout leaves no room for the row of tabs above the frame: what lies below the
    // row's top moves down by its height, so that no control covers a tab.
    if (control == tbPages)
        pixels.setHeight(pixels.height() + m_tabRow);
    else if (control->parentWidget() == this)
        pixels.translate(0, m_tabRow);
    control->setGeometry(pixels);
}

void FrmOptions::createControls()
{
    // The tab strip lies beneath everything: its pages are empty, the controls sit on top.
    tbPages = new QTabWidget(this);
    for (const char *tab : {"General - Export", "Adapters", "Reset", "Volume Left"})
        tbPages->addTab(new QWidget, QString::fromLatin1(tab));
    m_tabRow = tbPages->tabBar()->sizeHint().height();
    place(tbPages, this, {120, 120, 5055, 2895});
    brGeneral = place(new QGroupBox(QStringLiteral("General Options - Export Logs.")), this, {240, 240, 4215, 2655});
    chkDblClick = place(new QCheckBox(Settings::dblClickCaption(Settings::MonitorWindow)), this, {360, 480, 3975, 375});
    chkDblClick->setTristate(true);
    // As wide as the list below it: the layout's 2415 twips cut the caption's end off.
    txtAdapters = place(new QLabel(QStringLiteral("Select Adapter(s) to be logged :")), this, {360, 360, 3975, 255});
    lstAdapters = place(new QListWidget, this, {360, 720, 3975, 2010});
    lstAdapters->setSelectionMode(QAbstractItemView::MultiSelection);
    bttOK = place(new QPushButton(QStringLiteral("&OK")), this, {4200, 3240, 975, 495});
    bttOK->setDefault(true);
    linkToWeb = place(new QLabel(QStringLiteral("Varnolt help")), this, {120, 3240, 3855, 375});
    linkToWeb->setStyleSheet(QStringLiteral("color: blue; font-weight: bold; text-decoration: underline;"));
    linkToWeb->setCursor(Qt::PointingHandCursor);
    linkToWeb->setToolTip(m_helpPage);
    linkToWeb->installEventFilter(this);

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
    bttBrowse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    bttBrowse->setToolTip(QStringLiteral("Browse"));
    bttExport = place(new QToolButton, frame, {3720, 2040, 375, 375});
    bttExport->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    bttExport->setToolTip(QStringLiteral("Export !"));
    bttClear = place(new QPushButton(QStringLiteral("Clear Database")), frame, {120, 2040, 3975, 495});
    lblAttention = place(new QLabel, frame, {120, 360, 3975, 1695});
    lblAttention->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    lblAttention->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
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

    for (QLineEdit *field : {txtMaxMB, txtperiod, txtStartnthDay})
        field->installEventFilter(this);
    // The tab order follows the pages' reading order.
    setTabOrder(chkDblClick, chkkbits);
    setTabOrder(txtMaxMB, txtperiod);
    setTabOrder(txtperiod, cboPeriodType);
    setTabOrder(cboPeriodType, txtStartnthDay);
}

void FrmOptions::loadControls()
{
    const Settings &s = m_settings;
    cboPeriodType->setCurrentIndex(positionIn(s.periodTypeIndex, cboPeriodType->count()));
    txtStartnthDay->setText(s.startDay < 1 || s.startDay > 31 ? AllowanceFields::StartDayDefault : s.startDayText);
    txtMaxMB->setText(s.maxMBText);
    txtperiod->setText(s.periodLengthText);
    cboTransparent->setCurrentIndex(positionIn(s.monitorTransIndex, cboTransparent->count()));
    txtCsvFile->setText(s.exportFolder);
    chkkbits->setCheckState(checkStateFor(s.kilobitState));
    chkWhatsleft->setCheckState(checkStateFor(s.whatsLeftState));
    chkPlayMusic->setCheckState(checkStateFor(s.playWavState));
    followDblClickState();
    followAdapters();
}

void FrmOptions::connectControls()
{
    connect(tbPages, &QTabWidget::currentChanged, this, &FrmOptions::pageChosen);
    connect(chkDblClick, &QCheckBox::stateChanged, this, &FrmOptions::dblClickChanged);
    connect(bttOK, &QPushButton::clicked, this, [this] { (void)store(); });
    connect(cboPeriodType, &QComboBox::currentIndexChanged, this, &FrmOptions::periodTypeChosen);
    connect(lstAdapters, &QListWidget::itemSelectionChanged, this, &FrmOptions::adapterSelectionChanged);
    connect(bttBrowse, &QToolButton::clicked, this, &FrmOptions::browse);
    connect(bttExport, &QToolButton::clicked, this, &FrmOptions::exportLog);
    connect(bttClear, &QPushButton::clicked, this, &FrmOptions::clearDatabase);

    // The live controls: every reader sees the change at once.
    connect(chkkbits, &QCheckBox::stateChanged, this, [this] { m_settings.kilobitState = valueOf(chkkbits); });
    connect(chkWhatsleft, &QCheckBox::stateChanged, this,
        [this] { m_settings.whatsLeftState = valueOf(chkWhatsleft); });
    connect(chkPlayMusic, &QCheckBox::stateChanged, this,
        [this] { m_settings.playWavState = valueOf(chkPlayMusic); });
    connect(cboTransparent, &QComboBox::currentIndexChanged, this,
        [this](int position) { m_settings.monitorTransIndex = position; });
}

void FrmOptions::showOptions()
{
    buildControls();
    followAdapters();
    if (!m_placed) {
        m_placed = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect centred(QPoint(), size());
            centred.moveCenter(screen->availableGeometry().center());
            move(centred.topLeft());
        }
    }
    // The window manager may have minimised it (openbox offers that on any window), and
    // without a taskbar button nothing else brings it back.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

QString FrmOptions::attentionText()
{
    return QStringLiteral("\r\nCaution !\r\n\r\nWhen you reset the database,\r\nall data is cleared.\r\n"
                          "The data can not be recovered.");
}

QString FrmOptions::storeFailedText(const QString &reason)
{
    return QStringLiteral("The options were not saved, and the settings in use are unchanged.\n%1").arg(reason);
}

QString FrmOptions::fallbackExportPath()
{
    return QDir::homePath() + QLatin1String("/Varnolt.csv");
}

void FrmOptions::browse()
{
    const QString folder = DesktopServices::browseForFolder(
        QStringLiteral("Select the Directory where the CSV Files have to be saved."), QDir::homePath());
    txtCsvFile->setText(folder + QLatin1String("/Varnolt.csv"));
}

void FrmOptions::exportLog()
{
    const QString path = txtCsvFile->text().trimmed();
    // The question names the file that would really be replaced, as the file system spells
    // it: where the path is a link, the file it leads to.
    const CsvExport::Target target = CsvExport::resolve(path);
    if (target.state == CsvExport::Target::State::Refused) {
        MessageBox::critical(QStringLiteral("Failed :-("), QStringLiteral("Export Failed\r\n") + target.reason);
        return;
    }
    if (target.state == CsvExport::Target::State::Exists) {
        QString question = target.path + QStringLiteral(" already exists !\r\n");
        if (QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(path)) != target.path)
            question += QStringLiteral("(%1 leads there.)\r\n").arg(path);
        if (MessageBox::question(QStringLiteral("Continue ?"), question + QStringLiteral("Overwrite ?"))
            != QMessageBox::Yes)
            return;
    }
    CsvExport exporter(m_databasePath);
    const CsvExport::Outcome outcome = exporter.exportTo(target, cboChartType->currentIndex(), fallbackExportPath());
    if (exporter.usedPath() != path)
        txtCsvFile->setText(exporter.usedPath());
    if (outcome == CsvExport::Outcome::Failed) {
        MessageBox::critical(
            QStringLiteral("Failed :-("), QStringLiteral("Export Failed\r\n") + exporter.errorString());
        return;
    }
    m_settings.exportFolder = exporter.usedPath();
    MessageBox::information(
        QStringLiteral("Success!"), QStringLiteral("Export Succeeded !\r\n") + exporter.writtenFile());
}

void FrmOptions::clearDatabase()
{
    if (MessageBox::question(QStringLiteral("Are you sure ?"),
            QStringLiteral("All DATA will be erased !!!!\r\nAre you sure ?"))
        != QMessageBox::Yes)
        return;
    LogReset reset(m_databasePath, m_clock);
    const bool cleared = reset.run();
    // The volume left must not go on counting the erased traffic: the next poll asks the log.
    m_settings.cachedVolume = 0;
    if (cleared)
        MessageBox::information(QStringLiteral("Success !"), QStringLiteral("Cleared Database !"));
    else
        MessageBox::critical(QStringLiteral("Error."), QStringLiteral("Cleanup failed !"));
}

void FrmOptions::pageChosen(int page)
{
    setUpdatesEnabled(false);
    const bool layering = Transparency::isLayeringSupported();
    const QList<QWidget *> general {chkDblClick, chkkbits, bttExport, bttBrowse, cboChartType, lblExport2, txtCsvFile};
    const QList<QWidget *> transparency {cboTransparent, lblTransparent};
    const QList<QWidget *> adapters {lstAdapters, txtAdapters};
    const QList<QWidget *> reset {bttClear, lblAttention};
    const QList<QWidget *> volume {lblvolume1, txtMaxMB, lblvolume2, txtperiod, cboPeriodType, lblStartDay,
        txtStartnthDay, lblpreview, lblStartdate, chkWhatsleft, chkPlayMusic};
    const auto showAll = [](const QList<QWidget *> &controls, bool shown) {
        for (QWidget *control : controls)
            control->setVisible(shown);
    };

    switch (page) {
    case GeneralPage:
        showAll(adapters + reset + volume, false);
        brGeneral->setTitle(QStringLiteral("General Options - Export Logs."));
        brGeneral->show();
        showAll(general, true);
        showAll(transparency, layering);
        followDblClickState();
        break;
    case AdaptersPage:
        showAll({brGeneral, chkDblClick}, false);
        followAdapters();
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
        layOutVolumePage();
        break;
    default:
        break;
    }
    setUpdatesEnabled(true);
}

void FrmOptions::layOutVolumePage()
{
    // Each step places a control from the places the steps before it have set.
    const QRect volume1 = twipGeometry(lblvolume1);
    const QRect volume2 = twipGeometry(lblvolume2);
    QRect periodType = twipGeometry(cboPeriodType);
    periodType.setWidth(1590);
    periodType.moveTop(volume2.top() - 10);
    setTwipGeometry(cboPeriodType, periodType);
    for (QWidget *control : {static_cast<QWidget *>(cboPeriodType), static_cast<QWidget *>(lblvolume1),
             static_cast<QWidget *>(lblvolume2)})
        control->show();

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
    txtperiod->show();
    txtMaxMB->show();

    const QRect startDay(period.left(), volume2.top() + volume2.height() + 20, period.width(),
        twipGeometry(txtStartnthDay).height());
    setTwipGeometry(txtStartnthDay, startDay);
    QRect startDayLabel = twipGeometry(lblStartDay);
    startDayLabel.moveTopLeft({volume1.left(), startDay.top()});
    setTwipGeometry(lblStartDay, startDayLabel);

    refreshPreview();
    lblpreview->show();
    lblStartdate->show();

    QRect whatsLeft = twipGeometry(chkWhatsleft);
    whatsLeft.moveTop(twipGeometry(lblStartdate).top() + 525);
    setTwipGeometry(chkWhatsleft, whatsLeft);
    chkWhatsleft->show();
    QRect playMusic = twipGeometry(chkPlayMusic);
    playMusic.moveTopLeft({whatsLeft.left(), whatsLeft.top() - 200});
    setTwipGeometry(chkPlayMusic, playMusic);
    chkPlayMusic->show();

    const bool monthly = cboPeriodType->currentIndex() == 2;
    txtStartnthDay->setVisible(monthly);
    lblStartDay->setVisible(monthly);
}

void FrmOptions::dblClickChanged()
{
    // Every change of the box, by a click or by the dialog, steps the state once: 0 → 1 → 2
    // → 0, whatever state the box's own click moved it to; the dialog then sets the box to
    // the state, which changes it again, and that change only clears the flag.
    if (m_settingDblClick) {
        m_settingDblClick = false;
    } else {
        m_settings.stepDblClick();
        const int state = m_settings.dblClickState();
        chkDblClick->setText(Settings::dblClickCaption(state));
        if (valueOf(chkDblClick) != state) {
            m_settingDblClick = true;
            chkDblClick->setCheckState(checkStateFor(state));
        }
    }
    update();
}

void FrmOptions::followDblClickState()
{
    if (!m_built)
        return; // the controls read the state when they are built
    const int state = m_settings.dblClickState();
    const QSignalBlocker blocker(chkDblClick);
    chkDblClick->setCheckState(checkStateFor(state));
    chkDblClick->setText(Settings::dblClickCaption(state));
}

void FrmOptions::followAdapters()
{
    if (!m_built)
        return;
    const AdapterList &adapters = m_settings.adapters;
    if (m_adaptersShown && adapters.revision() == m_adapterRevision)
        return;
    m_adaptersShown = true;
    m_adapterRevision = adapters.revision();
    const QSignalBlocker blocker(lstAdapters);
    lstAdapters->clear();
    for (const AdapterEntry &entry : adapters.entries()) {
        auto *item = new QListWidgetItem(entry.text, lstAdapters);
        item->setSelected(entry.selected);
    }
}

void FrmOptions::adapterSelectionChanged()
{
    // Counts from the monitor's next poll, before anything is stored.
    for (int row = 0; row < lstAdapters->count(); ++row)
        m_settings.adapters.setSelected(row, lstAdapters->item(row)->isSelected());
}

void FrmOptions::periodTypeChosen()
{
    // Code may set the list while another page is shown: only the Volume Left page uncovers
    // the start day.
    const bool shown = cboPeriodType->currentIndex() == 2 && tbPages->currentIndex() == VolumeLeftPage;
    txtStartnthDay->setVisible(shown);
    lblStartDay->setVisible(shown);
    refreshPreview();
}

void FrmOptions::refreshPreview()
{
    // The preview is seen on its page only; that page computes it afresh when it is chosen.
    if (tbPages->currentIndex() != VolumeLeftPage)
        return;
    const JetConvert convert(JetLocale::current());
    m_previewCache = 0;
    const QString text = m_volumeLeft.text(convert.toDouble(txtMaxMB->text()).value_or(0),
        convert.toInt32(txtperiod->text()).value_or(0), QString::number(cboPeriodType->currentIndex()),
        m_previewCache, false, convert.toInt16(txtStartnthDay->text()).value_or(1), &m_previewStart);
    lblpreview->setText(text);
    lblStartdate->setText(QStringLiteral("Starting from ") + FormatDateText(m_previewStart, QStringLiteral("dd mmm yyyy")));
}

void FrmOptions::checkMaxMB()
{
    const std::optional<QString> accepted = AllowanceFields::maxMB(txtMaxMB->text(), JetConvert(JetLocale::current()));
    if (accepted) {
        txtMaxMB->setText(*accepted);
        refreshPreview();
    } else {
        // A rejected allowance leaves the preview as it was.
        txtMaxMB->setText(AllowanceFields::MaxMBDefault);
        m_previewCache = 0;
    }
}

void FrmOptions::checkPeriod()
{
    const std::optional<QString> accepted = AllowanceFields::period(txtperiod->text(), JetConvert(JetLocale::current()));
    txtperiod->setText(accepted.value_or(AllowanceFields::PeriodDefault));
    refreshPreview();
}

void FrmOptions::checkStartDay()
{
    const std::optional<QString> accepted
        = AllowanceFields::startDay(txtStartnthDay->text(), JetConvert(JetLocale::current()));
    txtStartnthDay->setText(accepted.value_or(AllowanceFields::StartDayDefault));
    refreshPreview();
}

void FrmOptions::checkField(QLineEdit *field)
{
    if (field == txtMaxMB)
        checkMaxMB();
    else if (field == txtperiod)
        checkPeriod();
    else if (field == txtStartnthDay)
        checkStartDay();
}

bool FrmOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // Only a move to another control of the dialog checks the field: not another window
        // coming to the front, nor the field's own context menu.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            checkField(qobject_cast<QLineEdit *>(watched));
    } else if (watched == linkToWeb && event->type() == QEvent::MouseButtonRelease) {
        (void)DesktopServices::openDocument(m_helpPage);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FrmOptions::reject()
{
    (void)store();
}

bool FrmOptions::store()
{
    // OK pressed by its key leaves the focus in a field: that field is checked first, so that
    // only checked text is ever converted.
    if (auto *field = qobject_cast<QLineEdit *>(focusWidget()))
        checkField(field);

    const WaitCursor waiting;
    const JetConvert convert(JetLocale::current());
    Settings edited = m_settings;
    edited.maxMBText = txtMaxMB->text();
    edited.periodLengthText = txtperiod->text();
    edited.periodTypeIndex = cboPeriodType->currentIndex();
    edited.startDayText = txtStartnthDay->text();
    SettingsStore store(m_databasePath);
    if (!store.writeOptions(m_settings.adapters.selection(), edited.storedValues())) {
        MessageBox::critical(QStringLiteral("Varnolt"), storeFailedText(store.errorString()));
        return false;
    }

    if (Transparency::isLayeringSupported()) {
        const int position = cboTransparent->currentIndex();
        if (position <= 0)
            Transparency::clear(&m_monitor);
        else
            Transparency::set(&m_monitor, position * 25);
    }
    Settings &s = m_settings;
    s.startDayText = edited.startDayText;
    s.startDay = convert.toInt16(s.startDayText).value_or(1);
    s.maxMBText = edited.maxMBText;
    s.maxMB = convert.toDouble(s.maxMBText).value_or(0);
    s.periodTypeIndex = edited.periodTypeIndex;
    s.periodType = edited.periodTypeIndex;
    s.periodLengthText = edited.periodLengthText;
    s.periodLength = convert.toInt32(s.periodLengthText).value_or(0);
    // The monitor asks the database again, with the new window.
    s.cachedVolume = 0;
    s.confirmDblClick();
    m_monitor.setHeightTwips(FrmMain::heightFor(s));
    m_monitor.update();
    hide();
    return true;
}
