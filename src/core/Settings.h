// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/AdapterList.h"

#include <QList>
#include <QPair>
#include <QString>

// The user's choices for the whole run: what the settings table holds, with the defaults a
// missing row leaves. The options dialog edits this object and every other part reads it,
// so a value changes for all readers at the moment the dialog stores it.
class Settings
{
public:
    // What a double-click on the tray icon does; a three-state check box in the dialog.
    enum DblClickMode { MonitorWindow = 0, ChartWindow = 1, MiniMonitor = 2 };

    Settings();

    // The double-click state only ever advances 0 → 1 → 2 → 0, one state at a time, so that
    // whoever follows the box (its caption, the chart flag) sees every step.
    int dblClickState() const { return m_dblClickState; }
    void stepDblClick();
    void stepDblClickTo(int target);
    // Whether a double-click opens the chart: follows the state only when the state is
    // confirmed (loaded, or stored by the options dialog), not while it is stepped.
    bool dblClickChart() const { return m_dblClickChart; }
    void confirmDblClick() { m_dblClickChart = m_dblClickState == ChartWindow; }
    static QString dblClickCaption(int state);

    // Check boxes hold the box's state: 0 off, 1 on (2, grey, counts as off).
    int kilobitState = 0; // rates in Kbps instead of kBps
    int whatsLeftState = 0; // show the volume-left line
    int playWavState = 0; // play the warning sounds
    bool kilobit() const { return kilobitState == 1; }
    bool whatsLeft() const { return whatsLeftState == 1; }
    bool playWav() const { return playWavState == 1; }

    QString exportFolder; // the CSV file the options dialog proposes

    // The router whose WAN counters are metered instead of the interfaces (the household's
    // traffic): its description URL, empty to meter this computer's interfaces; and the
    // friendly name it had when chosen, shown until the router answers with its own.
    QString routerUrl;
    QString routerName;
    int notifyState = 1; // desktop notifications at 30 % and 15 % left (a check box's state)
    bool notify() const { return notifyState == 1; }

    double maxMB = 0; // the allowance in MB
    QString maxMBText = QStringLiteral("0");
    qint32 periodType = 0; // 0 days, 1 weeks, 2 months from the start day
    int periodTypeIndex = 0; // list index of the period type box
    qint32 periodLength = 0;
    QString periodLengthText = QStringLiteral("0");
    qint16 startDay = 1; // day of the month the monthly period starts on
    QString startDayText = QStringLiteral("1");
    int monitorTransIndex = 0; // 0, 25, 50 or 75 % transparency of the monitor window

    // The adapters to meter: filled by the poll from the interface table, the choice edited in
    // the options dialog and stored as "Adapter<n>" rows on OK.
    AdapterList adapters;

    // The logged volume of the tracking period in MB, kept so that the poll need not ask the
    // database every 500 ms; 0 means "ask the database". Not a stored setting.
    double cachedVolume = 0;

    static QStringList periodTypeItems();
    static QStringList transparencyItems();

    // Every key the options dialog stores on OK, in the order it stores them, with its stored
    // text (the export folder is stored by the CSV export on its own).
    QList<QPair<QString, QString>> storedValues() const;

private:
    int m_dblClickState = MonitorWindow;
    bool m_dblClickChart = false;
};
