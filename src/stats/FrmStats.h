// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/AllowanceStatus.h"
#include "stats/StatsGrid.h"

#include <QHash>
#include <QRect>
#include <QWidget>

#include <optional>

class Clock;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class Settings;
class StatsChart;
struct RunCounters;

// The statistics window: the traffic per day, week, month and year, and the average
// download speed over the same periods, as a chart or as a report of the same numbers.
// Made anew at each opening; OK keeps the chart choices for the next one, and any other way
// of closing it keeps nothing.
class FrmStats final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrmStats)

public:
    struct Parts
    {
        QString databasePath;
        const Clock &clock;
        const RunCounters &counters; // the traffic not yet logged
        const Settings &settings; // the rate unit
    };

    static constexpr int MinimumWidth = 630;
    static constexpr int MinimumHeight = 475;

    explicit FrmStats(Parts parts, QWidget *parent = nullptr);
    ~FrmStats() override;

    static QString caption() { return QStringLiteral("Varnolt, Keeps an eye on your downloads..."); }

    // Reads the chosen view from the database and draws it; the report follows when shown.
    void fillChart();
    // The log changed under the window (it was cleared): back to the newest page, read anew.
    // Invokable by name, for the program, which links nothing of the window's module.
    Q_INVOKABLE void refill();
    // The page shown: 0 the newest periods, 1 the ones before them, and so on.
    int page() const { return m_page; }
    bool isReportShown() const;
    const StatsGrid &grid() const { return m_grid; }
    // The allowance as the last fill of a volume view read it; nothing without an allowance.
    const std::optional<AllowanceStatus> &allowanceStatus() const { return m_allowanceStatus; }
    QRect twipGeometry(const QWidget *control) const { return m_twips.value(control); }

    // The controls.
    QComboBox *lst23d = nullptr;
    QComboBox *lstChrtLine = nullptr;
    QCheckBox *chkStacked = nullptr;
    QLabel *lblStack = nullptr;
    QLabel *label1 = nullptr;
    QComboBox *lstChartPeriod = nullptr;
    QPushButton *bttOlder = nullptr; // a page further back in time
    QPushButton *bttNewer = nullptr;
    StatsChart *logChart = nullptr;
    QTreeWidget *lstData = nullptr;
    QPushButton *bttReport = nullptr;
    QPushButton *bttExport = nullptr;
    QPushButton *cmdOK = nullptr;

Q_SIGNALS:
    // The window has been closed, by OK or otherwise; it is deleted next.
    void closed();
    // The report's export button: the export is done in the options dialog, which the run
    // shows, pointing at it.
    void exportRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    template<typename Control>
    Control *place(Control *control, const QRect &twips);
    void setTwipGeometry(QWidget *control, const QRect &twips);
    void layOut();
    void fitTexts();
    void choiceChanged();
    void toggleReport();
    void fillList();
    void turnPage(int step);
    void saveAndClose();
    void showAllowance(int view);

    QString m_databasePath;
    const Clock &m_clock;
    const RunCounters &m_counters;
    const Settings &m_settings;
    StatsGrid m_grid;
    QHash<const QWidget *, QRect> m_twips;
    bool m_chartBusy = false;
    bool m_filled = false;
    std::optional<AllowanceStatus> m_allowanceStatus;
    int m_page = 0;
    QString m_unit; // of the view shown
};
