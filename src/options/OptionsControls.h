// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QRect>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;
class QWidget;

// The options dialog's controls at their designed places: made once, placed from twips with
// the dialog's DPI, shown and hidden per page. The pages share one frame (brGeneral) under
// the row of tabs; the Volume Left page places its fields by steps, each from the places the
// steps before it have set. What the controls do lives in FrmOptions.
class OptionsControls
{
public:
    enum Page { GeneralPage, AdaptersPage, ResetPage, VolumeLeftPage };

    // A control's place in twips within its container, as the layout last set it.
    QRect twipGeometry(const QWidget *control) const { return m_twips.value(control); }

    static QString attentionText();

    // The controls, by the names the settings and the pages refer to.
    QTabWidget *tbPages = nullptr;
    QGroupBox *brGeneral = nullptr;
    QCheckBox *chkDblClick = nullptr;
    QLabel *txtAdapters = nullptr;
    QListWidget *lstAdapters = nullptr;
    // The household's router, below the interfaces: the one chosen (or none), the search, an
    // address typed by hand, and what choosing one means.
    QGroupBox *grpRouter = nullptr;
    QComboBox *cboRouter = nullptr;
    QPushButton *bttRouterSearch = nullptr;
    QLabel *lblRouterStatus = nullptr;
    QLabel *lblRouterUrl = nullptr;
    QLineEdit *txtRouterUrl = nullptr;
    QPushButton *bttRouterUrl = nullptr;
    QLabel *lblRouterNote = nullptr;
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
    QCheckBox *chkNotify = nullptr;

protected:
    explicit OptionsControls(QWidget &dialog)
        : m_dialog(dialog)
    {
    }
    ~OptionsControls() = default;
    OptionsControls(const OptionsControls &) = delete;
    OptionsControls &operator=(const OptionsControls &) = delete;

    // Makes every control on the dialog, at its place, and sizes the dialog to hold them.
    void makeControls();
    // Shows the controls of the page and hides the others (the start day only for a monthly
    // period); the Volume Left page is laid out afresh.
    void showPage(int page, bool layering);

private:
    void makeGeneralControls();
    void makeRouterControls();
    void makeVolumeLeftControls();
    void layOutVolumeLeftPage();
    void fitTexts();
    template<typename Control>
    Control *place(Control *control, QWidget *container, const QRect &twips);
    void setTwipGeometry(QWidget *control, const QRect &twips);

    QWidget &m_dialog;
    QHash<const QWidget *, QRect> m_twips;
    int m_tabRow = 0; // the tab row's height in pixels
};
