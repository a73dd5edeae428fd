// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/FrmStats.h"

#include "core/Settings.h"
#include "core/store/NumberText.h"
#include "desktop/Twips.h"
#include "desktop/AppIcon.h"
#include "desktop/MessageBox.h"
#include "desktop/TextFit.h"
#include "stats/ChartAllowance.h"
#include "stats/ChartChoices.h"
#include "stats/StatsChart.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace {

constexpr int ComboHeight = 315;
constexpr int PageButtonWidth = 697; // the two side by side as wide as "Report"

// A number of the report list: two decimals in every row, so that a column's digits line up
// (hundredths of a GB are 10 MB; of a MB, 10 KB), with the user's separator and no grouping.
QString listNumber(double value)
{
    return NumberText::fixed(value, 2);
}

} // namespace

FrmStats::FrmStats(Parts parts, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_databasePath(std::move(parts.databasePath))
    , m_clock(parts.clock)
    , m_counters(parts.counters)
    , m_settings(parts.settings)
    , m_grid(parts.clock)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption());
    setWindowIcon(AppIcon::icon());
    setMinimumSize(MinimumWidth, MinimumHeight);

    lst23d = place(new QComboBox, {120, 120, 855, ComboHeight});
    lstChrtLine = place(new QComboBox, {1080, 120, 855, ComboHeight});
    chkStacked = place(new QCheckBox, {2040, 240, 255, 300});
    lblStack = place(new QLabel(QStringLiteral("Stack")), {2280, 270, 600, 255});
    label1 = place(new QLabel(QStringLiteral("Show:")), {4560, 180, 735, 255});
    label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lstChartPeriod = place(new QComboBox, {5400, 120, 3855, ComboHeight});
    logChart = place(new StatsChart, {0, 600, 9255, 6615});
    lstData = place(new QTreeWidget, {120, 720, 7335, 5175});
    lstData->setRootIsDecorated(false);
    lstData->setColumnCount(4);
    lstData->setHeaderLabels(StatsGrid::reportHeaders(3));
    // Four columns of the old 2540 twips would put Total out of sight, past the list's right
    // edge: they share its width, beside the vertical scroll bar.
    for (int column = 0; column < 4; ++column)
        lstData->setColumnWidth(column, Twips::toPixels(1740, *this));
    lstData->hide();
    // Made after the chart and the list, so that they lie over them, as the buttons below do.
    bttOlder = place(new QPushButton(QStringLiteral("<")), {7800, 4800, PageButtonWidth, ComboHeight});
    bttOlder->setToolTip(QStringLiteral("Older periods"));
    bttOlder->setAccessibleName(bttOlder->toolTip());
    bttNewer = place(new QPushButton(QStringLiteral(">")), {8557, 4800, PageButtonWidth, ComboHeight});
    bttNewer->setToolTip(QStringLiteral("Newer periods"));
    bttNewer->setAccessibleName(bttNewer->toolTip());
    bttReport = place(new QPushButton(QStringLiteral("&Report")), {7800, 5400, 1455, 495});
    bttReport->setToolTip(QStringLiteral("Toggle between Report & Chart view"));
    bttExport = place(new QPushButton(QStringLiteral("&Export...")), {6000, 6000, 1455, 495});
    bttExport->hide();
    cmdOK = place(new QPushButton(QStringLiteral("&OK")), {7800, 6000, 1455, 495});
    resize(std::max(MinimumWidth, Twips::toPixels(9360, *this)), std::max(MinimumHeight, Twips::toPixels(6705, *this)));

    connect(lst23d, &QComboBox::currentIndexChanged, this, &FrmStats::choiceChanged);
    connect(lstChrtLine, &QComboBox::currentIndexChanged, this, &FrmStats::choiceChanged);
    connect(lstChartPeriod, &QComboBox::currentIndexChanged, this, [this] {
        m_page = 0; // a day is not a month: another view starts at its newest periods
        choiceChanged();
    });
    connect(bttOlder, &QPushButton::clicked, this, [this] { turnPage(1); });
    connect(bttNewer, &QPushButton::clicked, this, [this] { turnPage(-1); });
    connect(chkStacked, &QCheckBox::stateChanged, this, &FrmStats::choiceChanged);
    connect(bttReport, &QPushButton::clicked, this, &FrmStats::toggleReport);
    connect(bttExport, &QPushButton::clicked, this, &FrmStats::exportRequested);
    connect(cmdOK, &QPushButton::clicked, this, &FrmStats::saveAndClose);
}

FrmStats::~FrmStats() = default;

template<typename Control>
Control *FrmStats::place(Control *control, const QRect &twips)
{
    control->setParent(this);
    setTwipGeometry(control, twips);
    return control;
}

void FrmStats::setTwipGeometry(QWidget *control, const QRect &twips)
{
    m_twips.insert(control, twips);
    control->setGeometry(Twips::toPixels(twips.x(), *this), Twips::toPixels(twips.y(), *this),
        Twips::toPixels(twips.width(), *this), Twips::toPixels(twips.height(), *this));
}

bool FrmStats::isReportShown() const
{
    return !lstData->isHidden();
}

void FrmStats::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_filled && !m_chartBusy)
        fillChart();
}

void FrmStats::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void FrmStats::layOut()
{
    // The chart fills the window below the choices; the buttons and the view list keep to
    // the right edge, over the chart's lower right corner.
    const int w = Twips::fromPixels(width(), *this);
    const int h = Twips::fromPixels(height(), *this);
    setUpdatesEnabled(false);
    setTwipGeometry(logChart, {0, 600, w, h - 800});
    QRect ok = twipGeometry(cmdOK);
    ok.moveTopLeft({w - ok.width() - 500, h - ok.height() - 700});
    setTwipGeometry(cmdOK, ok);
    logChart->setCoveredWidth(logChart->width() - cmdOK->x());
    QRect report = twipGeometry(bttReport);
    report.moveTopLeft({ok.left(), ok.top() - ok.height() - 100});
    setTwipGeometry(bttReport, report);
    QRect period = twipGeometry(lstChartPeriod);
    period.moveLeft(w - period.width() - 500);
    setTwipGeometry(lstChartPeriod, period);
    QRect show = twipGeometry(label1);
    show.moveLeft(period.left() - show.width() - 100);
    setTwipGeometry(label1, show);
    // The pages' buttons above "Report", in the column of buttons the chart leaves free, so
    // that a longer view list or a larger font never crowds the row of choices.
    QRect older = twipGeometry(bttOlder);
    older.moveTopLeft({report.left(), report.top() - older.height() - 100});
    setTwipGeometry(bttOlder, older);
    QRect newer = twipGeometry(bttNewer);
    newer.moveTopLeft({older.right() + 1 + 60, older.top()});
    setTwipGeometry(bttNewer, newer);
    QRect exportButton = twipGeometry(bttExport);
    exportButton.moveTop(ok.top());
    setTwipGeometry(bttExport, exportButton);
    fitTexts();
    setUpdatesEnabled(true);
}

void FrmStats::fitTexts()
{
    // The choices grow to their texts: the row from the left pushes along, the view list at
    // the right edge grows to the left and its caption moves with it.
    for (QComboBox *combo : {lst23d, lstChrtLine, lstChartPeriod})
        TextFit::showLongestEntry(combo);
    TextFit::flowRow({lst23d, lstChrtLine, chkStacked}, Twips::toPixels(100, *this));
    TextFit::flowRow({chkStacked, lblStack}, 0);
    TextFit::widen(lstChartPeriod, TextFit::Anchor::Right);
    label1->move(lstChartPeriod->x() - Twips::toPixels(100, *this) - label1->width(), label1->y());
    TextFit::widen(label1, TextFit::Anchor::Right);
    for (QWidget *button : QList<QWidget *> {bttReport, bttExport, cmdOK})
        TextFit::widen(button, TextFit::Anchor::Right);
    for (QPushButton *button : {bttOlder, bttNewer})
        TextFit::widen(button, TextFit::Anchor::Left);
}

void FrmStats::choiceChanged()
{
    // The fill sets these controls itself; its own changes must not start a fill inside it.
    if (!m_chartBusy)
        fillChart();
}

void FrmStats::fillChart()
{
    setUpdatesEnabled(false);
    m_chartBusy = true;
    m_filled = true;
    const bool kbps = m_settings.kilobit();

    // The first fill adds the entries and takes the choices kept from the last OK.
    if (lst23d->count() == 0 || lstChrtLine->count() == 0 || lstChartPeriod->count() == 0) {
        const ChartChoices kept = ChartChoices::load();
        if (lst23d->count() == 0) {
            lst23d->addItems({QStringLiteral("3D"), QStringLiteral("2D")});
            lst23d->setCurrentIndex(kept.dimensions);
        }
        if (lstChrtLine->count() == 0) {
            lstChrtLine->addItems({QStringLiteral("Area"), QStringLiteral("Line"), QStringLiteral("Bars")});
            lstChrtLine->setCurrentIndex(kept.kind);
        }
        if (lstChartPeriod->count() == 0) {
            lstChartPeriod->addItems(StatsGrid::viewEntries(kbps));
            lstChartPeriod->setCurrentIndex(kept.view);
            chkStacked->setChecked(kept.stacked == 1);
        }
        fitTexts();
    }

    const int view = lstChartPeriod->currentIndex();
    const int kind = lstChrtLine->currentIndex();
    bool stacked = chkStacked->isChecked();
    // Stacking adds Upload and Download up to their total; a line chart or a speed view has
    // nothing to stack.
    if (view >= StatsGrid::SpeedPerDay || kind == ChartChoices::Line) {
        chkStacked->setChecked(false);
        chkStacked->hide();
        lblStack->hide();
        stacked = false;
    } else {
        chkStacked->setVisible(!isReportShown());
        lblStack->setVisible(!isReportShown());
    }

    if (view >= 0 && view < StatsGrid::ViewCount) {
        StatsGrid::Span span;
        span.page = m_page;
        const StatsGrid::Outcome outcome = m_grid.fill(m_databasePath, view, stacked, kbps, m_counters, span);
        m_unit = StatsGrid::unit(view, kbps);
        logChart->showGrid(m_grid, StatsChart::Kind(std::max(kind, 0)), lst23d->currentIndex() == 0, stacked, m_unit);
        showAllowance(view);
        if (outcome == StatsGrid::Outcome::Failed) {
            MessageBox::critical(QStringLiteral("Varnolt"),
                QStringLiteral("The statistics could not be read from the database.\n%1").arg(m_grid.errorString()));
        }
    }
    bttOlder->setEnabled(m_grid.hasOlder());
    bttNewer->setEnabled(m_page > 0);
    if (isReportShown())
        fillList();
    m_chartBusy = false;
    setUpdatesEnabled(true);
}

void FrmStats::refill()
{
    m_page = 0;
    fillChart();
}

void FrmStats::turnPage(int step)
{
    if (m_chartBusy || m_page + step < 0)
        return;
    m_page += step;
    fillChart();
}

void FrmStats::fillList()
{
    lstData->clear();
    const int series = std::min(m_grid.seriesCount(), 3);
    QList<QTreeWidgetItem *> items;
    QList<double> total(series);
    for (int row = 0; row < m_grid.rowCount(); ++row) {
        QStringList texts {m_grid.rowLabel(row)};
        for (int s = 0; s < series; ++s) {
            texts << listNumber(m_grid.value(row, s));
            total[s] += m_grid.value(row, s);
        }
        items << new QTreeWidgetItem(texts);
    }
    // The volumes add up to the page's total, rounded once; averages do not add up, and an
    // average of averages would weigh a quiet day like a busy one: the speed views have none.
    if (series > 1 && !items.isEmpty()) {
        QStringList texts {QStringLiteral("Total")};
        for (const double sum : std::as_const(total))
            texts << listNumber(sum);
        auto *sum = new QTreeWidgetItem(texts);
        QFont bold = lstData->font();
        bold.setBold(true);
        for (int column = 0; column <= series; ++column)
            sum->setFont(column, bold);
        sum->setFlags(Qt::ItemIsEnabled);
        items << sum;
    }
    for (QTreeWidgetItem *item : std::as_const(items)) {
        for (int column = 1; column <= series; ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    lstData->addTopLevelItems(items);
    QStringList headers = StatsGrid::reportHeaders(series);
    for (int column = 1; column < headers.size(); ++column) {
        if (!headers.at(column).isEmpty())
            headers[column] += QStringLiteral(" (%1)").arg(m_unit);
        lstData->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    lstData->setHeaderLabels(headers);
}

void FrmStats::toggleReport()
{
    if (isReportShown()) {
        lstData->clear();
        logChart->show();
        lstData->hide();
        bttReport->setText(QStringLiteral("&Report"));
        for (QWidget *control : QList<QWidget *> {lblStack, lst23d, lstChrtLine, chkStacked})
            control->show();
        bttExport->hide();
        return;
    }
    // The report lists Upload, Download and Total: unstacking refills the grid with all three.
    chkStacked->setChecked(false);
    fillList();
    logChart->hide();
    lstData->show();
    bttReport->setText(QStringLiteral("G&raph"));
    for (QWidget *control : QList<QWidget *> {lblStack, lst23d, lstChrtLine, chkStacked})
        control->hide();
    bttExport->show();
}

void FrmStats::saveAndClose()
{
    ChartChoices chosen;
    chosen.dimensions = lst23d->currentIndex();
    chosen.kind = lstChrtLine->currentIndex();
    chosen.view = lstChartPeriod->currentIndex();
    chosen.stacked = chkStacked->isChecked() ? 1 : 0;
    chosen.save();
    close();
}

void FrmStats::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

void FrmStats::showAllowance(int view)
{
    // The same status as `varnolt-report status`, read after the grid so that both count the
    // same unlogged traffic; a log that cannot be read was reported by the fill already.
    m_allowanceStatus.reset();
    if (m_settings.maxMB <= 0 || view > StatsGrid::VolumePerYear || m_grid.rowCount() == 0)
        return;
    QString error;
    m_allowanceStatus = AllowanceStatus::read(m_databasePath, m_settings, m_clock, m_counters, error);
    if (m_allowanceStatus)
        logChart->setAllowance(ChartAllowance::make(m_grid, view, *m_allowanceStatus));
}
