// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/FrmOptions.h"

#include "core/CsvExport.h"
#include "core/LogReset.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/FormatDateText.h"
#include "core/store/JetConvert.h"
#include "core/traffic/VolumeLeftText.h"
#include "options/AllowanceFields.h"
#include "options/RouterChoice.h"
#include "desktop/AppIcon.h"
#include "desktop/DesktopServices.h"
#include "desktop/MessageBox.h"
#include "desktop/TextFit.h"
#include "desktop/Transparency.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

namespace {

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
    , OptionsControls(static_cast<QWidget &>(*this))
    , m_settings(parts.settings)
    , m_clock(parts.clock)
    , m_volumeLeft(parts.volumeLeft)
    , m_databasePath(std::move(parts.databasePath))
    , m_helpPage(std::move(parts.helpPage))
    , m_run(parts.run)
    , m_exportBlink(m_clock, this)
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
    makeControls();
    linkToWeb->setToolTip(m_helpPage);
    linkToWeb->installEventFilter(this);
    for (QLineEdit *field : {txtMaxMB, txtperiod, txtStartnthDay})
        field->installEventFilter(this);
    loadControls();
    connectControls();
    m_router = std::make_unique<RouterChoice>(*this, m_settings.routerUrl, m_settings.routerName);
    pageChosen(GeneralPage);
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
    chkNotify->setCheckState(checkStateFor(s.notifyState));
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
    connect(chkNotify, &QCheckBox::stateChanged, this, [this] { m_settings.notifyState = valueOf(chkNotify); });
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

QString FrmOptions::storeFailedText(const QString &reason)
{
    return QStringLiteral("The options were not saved, and the settings in use are unchanged.\n%1").arg(reason);
}

QString FrmOptions::fallbackExportPath()
{
    return QDir::homePath() + QLatin1String("/Varnolt.csv");
}

void FrmOptions::pointToExport()
{
    showOptions();
    m_exportBlink.start(lblExport2);
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
    const ExportTarget target = ExportTarget::resolve(path);
    if (target.state == ExportTarget::State::Refused) {
        MessageBox::critical(QStringLiteral("Failed :-("), QStringLiteral("Export Failed\r\n") + target.reason);
        return;
    }
    if (target.state == ExportTarget::State::Exists) {
        QString question = target.path + QStringLiteral(" already exists !\r\n");
        if (QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(path)) != target.path)
            question += QStringLiteral("(%1 leads there.)\r\n").arg(path);
        if (MessageBox::question(QStringLiteral("Continue ?"), question + QStringLiteral("Overwrite ?"))
            != QMessageBox::Yes)
            return;
    }
    CsvExport exporter(m_databasePath);
    if (m_run)
        exporter.setOpenRow(*m_run, m_clock.now());
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
    Q_EMIT logCleared();
    if (cleared)
        MessageBox::information(QStringLiteral("Success !"), QStringLiteral("Cleared Database !"));
    else
        MessageBox::critical(QStringLiteral("Error."), QStringLiteral("Cleanup failed !"));
}

void FrmOptions::pageChosen(int page)
{
    setUpdatesEnabled(false);
    showPage(page, Transparency::isLayeringSupported());
    if (page == GeneralPage)
        followDblClickState();
    else if (page == AdaptersPage) {
        followAdapters();
        m_router->searchOnce();
    }
    else if (page == VolumeLeftPage)
        refreshPreview();
    setUpdatesEnabled(true);
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
        TextFit::widen(chkDblClick);
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
    TextFit::widen(chkDblClick);
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
    TextFit::widen(lblpreview);
    TextFit::widen(lblStartdate);
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
        (void)DesktopServices::openHelpPage(m_helpPage);
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
    // An address typed but not yet used is taken now, or refused with the dialog left open.
    if (!m_router->takeTypedAddress())
        return false;

    const WaitCursor waiting;
    const JetConvert convert(JetLocale::current());
    Settings edited = m_settings;
    edited.maxMBText = txtMaxMB->text();
    edited.periodLengthText = txtperiod->text();
    edited.periodTypeIndex = cboPeriodType->currentIndex();
    edited.startDayText = txtStartnthDay->text();
    edited.routerUrl = m_router->url();
    edited.routerName = m_router->name();
    SettingsStore store(m_databasePath);
    if (!store.writeOptions(m_settings.adapters.selection(), edited.storedValues())) {
        MessageBox::critical(QStringLiteral("Varnolt"), storeFailedText(store.errorString()));
        return false;
    }

    if (Transparency::isLayeringSupported())
        Q_EMIT monitorTransparencyChosen(std::max(0, cboTransparent->currentIndex()) * 25);
    Settings &s = m_settings;
    s.startDayText = edited.startDayText;
    s.startDay = convert.toInt16(s.startDayText).value_or(1);
    s.maxMBText = edited.maxMBText;
    s.maxMB = convert.toDouble(s.maxMBText).value_or(0);
    s.periodTypeIndex = edited.periodTypeIndex;
    s.periodType = edited.periodTypeIndex;
    s.periodLengthText = edited.periodLengthText;
    s.periodLength = convert.toInt32(s.periodLengthText).value_or(0);
    s.routerUrl = edited.routerUrl;
    s.routerName = edited.routerName;
    // The monitor asks the database again, with the new window.
    s.cachedVolume = 0;
    s.confirmDblClick();
    Q_EMIT optionsStored();
    hide();
    return true;
}
