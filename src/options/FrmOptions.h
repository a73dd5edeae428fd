// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QHash>
#include <QRect>

class Clock;
class FrmMain;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;
class Settings;
class VolumeLeftText;

// The options dialog: the one window in which the user changes the settings. It edits the
// run's settings model directly: the adapter choice, Kbps, the volume-left line, the warning
// sound and the transparency act at once, for every reader; the text fields, the period type
// and the double-click choice reach the model on OK, which also stores everything. Created
// hidden at start-up, it keeps its page and its fields between showings until the run ends.
// The controls below exist once buildControls() has run.
class FrmOptions final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrmOptions)

public:
    enum Page { GeneralPage, AdaptersPage, ResetPage, VolumeLeftPage };

    struct Parts
    {
        Settings &settings;
        const Clock &clock; // the reset's start row
        VolumeLeftText &volumeLeft; // the preview's computation, called with alerts off
        FrmMain &monitor; // its height and transparency follow OK
        QString databasePath;
        QString helpPage; // what the link opens
    };

    explicit FrmOptions(Parts parts, QWidget *parent = nullptr);
    ~FrmOptions() override;

    // The controls are made when the dialog is first shown (or asked for), from the settings
    // as they are then: a dialog that is never opened costs the run no widgets, no fonts and
    // no pictures.
    void buildControls();
    bool controlsBuilt() const { return m_built; }

    // Shows the dialog on the page it was last on, or brings it to the front.
    void showOptions();

    // OK: stores every setting in one transaction, then hands the allowance to the run, sizes
    // the monitor and hides. When the database refuses, says why and keeps the dialog open,
    // with the stored rows and the run's allowance as they were.
    bool store();

    // The double-click state was stepped outside the dialog (the monitor's Mini/Maxi).
    void followDblClickState();
    // The poll may have rebuilt the adapter list: the entries follow it.
    void followAdapters();

    // A control's place in twips within its container, as the layout last set it.
    QRect twipGeometry(const QWidget *control) const { return m_twips.value(control); }

    static QString caption() { return QStringLiteral("Options."); }
    static QString attentionText();
    static QString storeFailedText(const QString &reason);
    // Where an export goes when the file asked for cannot be made; never replaced: when a
    // file of that name is there, the export takes "Varnolt (2).csv", "Varnolt (3).csv", ...
    static QString fallbackExportPath();

    // The controls, by the names the settings and the pages refer to.
    QTabWidget *tbPages = nullptr;
    QGroupBox *brGeneral = nullptr;
    QCheckBox *chkDblClick = nullptr;
    QLabel *txtAdapters = nullptr;
    QListWidget *lstAdapters = nullptr;
    QPushButton *bttOK = nullptr;
    QLabel *linkToWeb = nullptr;
    QCheckBox *chkkbits = nullptr;
    QComboBox *cboTransparent = nullptr;
    QLabel *lblTransparent = nullptr;
    QLabel *lblExport2 = nullptr;
    QComboBox *cboChartType = nullptr;
    QLineEdit *txtCsvFile = nullptr;
    QToolButton *bttBrowse = nullptr;
    QToolButton *bttExport = nullptr;
    QPushButton *bttClear = nullptr;
    QLabel *lblAttention = nullptr;
    QLabel *lblvolume1 = nullptr;
    QLineEdit *txtMaxMB = nullptr;
    QLabel *lblvolume2 = nullptr;
    QLineEdit *txtperiod = nullptr;
    QComboBox *cboPeriodType = nullptr;
    QLabel *lblStartDay = nullptr;
    QLineEdit *txtStartnthDay = nullptr;
    QLabel *lblpreview = nullptr;
    QLabel *lblStartdate = nullptr;
    QCheckBox *chkWhatsleft = nullptr;
    QCheckBox *chkPlayMusic = nullptr;

protected:
    // Escape and the window manager's close do what OK does: the dialog has no cancel, and
    // nothing the user changed is dropped without a word.
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void loadControls();
    void connectControls();
    template<typename Control>
    Control *place(Control *control, QWidget *container, const QRect &twips);
    void setTwipGeometry(QWidget *control, const QRect &twips);

    void pageChosen(int page);
    void layOutVolumePage();
    void dblClickChanged();
    void periodTypeChosen();
    void adapterSelectionChanged();
    void refreshPreview();
    // The checks run when a field loses the focus to another control of the dialog.
    void checkMaxMB();
    void checkPeriod();
    void checkStartDay();
    void checkField(QLineEdit *field);
    void browse();
    void exportLog();
    void clearDatabase();

    Settings &m_settings;
    const Clock &m_clock;
    VolumeLeftText &m_volumeLeft;
    FrmMain &m_monitor;
    QString m_databasePath;
    QString m_helpPage;
    QHash<const QWidget *, QRect> m_twips;
    bool m_built = false;
    bool m_settingDblClick = false; // the dialog itself moves the double-click box
    quint64 m_adapterRevision = 0;
    bool m_adaptersShown = false;
    bool m_placed = false;
    int m_tabRow = 0; // the tab row's height in pixels
    double m_previewCache = 0; // the preview's own logged volume, never the monitor's
    QDateTime m_previewStart;
};
