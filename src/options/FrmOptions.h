// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QDialog>

#include <memory>

#include "options/LabelBlink.h"
#include "options/OptionsControls.h"

class Clock;
class QLineEdit;
class RouterChoice;
struct RunCounters;
class Settings;
class VolumeLeftText;

// The options dialog: the one window in which the user changes the settings. It edits the
// run's settings model directly: the adapter choice, Kbps, the volume-left line, the warning
// sound and the transparency act at once, for every reader; the text fields, the period type,
// the double-click choice and the router chosen on the Adapters page (RouterChoice) reach the
// model on OK, which also stores everything. Created hidden at start-up, it keeps its page and
// its fields between showings until the run ends.
// The controls (OptionsControls) exist once buildControls() has run. It knows no other
// window: what OK means for the monitor window goes out as signals.
class FrmOptions final : public QDialog, public OptionsControls
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrmOptions)

public:
    struct Parts
    {
        Settings &settings;
        const Clock &clock; // the reset's start row, the export label's blink
        VolumeLeftText &volumeLeft; // the preview's computation, called with alerts off
        QString databasePath;
        QString helpPage; // what the link opens
        const RunCounters *run = nullptr; // the open row, which the export counts as the window does
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
    // The way to the export, from the statistics window: the dialog shown (on the page it was
    // last on) and its "Export Log :" label blinking for four seconds.
    void pointToExport();
    // The statistics window that asked has gone: the label is as it always is.
    void cutExportBlinkShort() { m_exportBlink.cutShort(); }

    // OK: stores every setting in one transaction, then hands the allowance to the run, has
    // the monitor follow and hides. When the database refuses, says why and keeps the dialog
    // open, with the stored rows and the run's allowance as they were.
    bool store();

    // The double-click state was stepped outside the dialog (the monitor's Mini/Maxi).
    void followDblClickState();
    // The poll rebuilt the adapter list: the entries follow it (nothing to do when they are
    // the ones shown).
    void followAdapters();

    static QString caption() { return QStringLiteral("Options."); }
    static QString storeFailedText(const QString &reason);
    // Where an export goes when the file asked for cannot be made; never replaced: when a
    // file of that name is there, the export takes "Varnolt (2).csv", "Varnolt (3).csv", ...
    static QString fallbackExportPath();

Q_SIGNALS:
    // On OK, where the platform can make a window translucent: the monitor window's
    // transparency in percent (0 opaque).
    void monitorTransparencyChosen(int percent);
    // OK stored the options and handed them to the run: the monitor's height follows.
    void optionsStored();
    // "Clear Database" erased the traffic log (or tried to): what shows it must read it anew.
    void logCleared();

protected:
    // Escape and the window manager's close do what OK does: the dialog has no cancel, and
    // nothing the user changed is dropped without a word.
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadControls();
    void connectControls();

    void pageChosen(int page);
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
    QString m_databasePath;
    QString m_helpPage;
    const RunCounters *m_run;
    LabelBlink m_exportBlink;
    std::unique_ptr<RouterChoice> m_router; // with the controls
    bool m_built = false;
    bool m_settingDblClick = false; // the dialog itself moves the double-click box
    quint64 m_adapterRevision = 0;
    bool m_adaptersShown = false;
    bool m_placed = false;
    double m_previewCache = 0; // the preview's own logged volume, never the monitor's
    QDateTime m_previewStart;
};
