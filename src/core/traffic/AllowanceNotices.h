// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/VolumeLeftText.h"

#include <QDate>
#include <QString>

#include <optional>

class Clock;
class Settings;
struct RunCounters;

// What the desktop is told when the volume left falls below one of the warning steps.
struct AllowanceNotice
{
    int percent = 0; // 30 or 15: the step the volume left fell below
    bool urgent = false; // the 15 % step
    QString summary;
    QString body; // what is left, and when the allowance runs out at this pace (or that it lasts)
};

// Decides when the desktop is told that less than 30 % and less than 15 % of the allowance is
// left: once per step and tracking window, however many polls and runs the window sees. The
// settings table keeps what was told (a row per step, "Notified30" and "Notified15", holding the
// first day of the window it was told for), so that a restart tells nothing again and a new
// window starts afresh. A fall from 30 % or more straight below 15 % tells the 15 % step alone
// and counts the 30 % one as told: one notice, the one that is true.
class AllowanceNotices final
{
public:
    AllowanceNotices(QString databasePath, const Clock &clock, const Settings &settings, const RunCounters &counters);

    // After each poll, with the colour the poll gave the volume-left line: the notice due now.
    // Nothing while notifications are off, the line is not shown or no allowance is set.
    std::optional<AllowanceNotice> check(VolumeAlert alert);

private:
    void loadTold();
    void tell(int percent, const QDate &firstDay);
    AllowanceNotice notice(int percent, const QString &intervalCode, const QDateTime &now) const;

    QString m_databasePath;
    const Clock &m_clock;
    const Settings &m_settings;
    const RunCounters &m_counters;
    bool m_loaded = false;
    QDate m_told30; // the first day of the window each step was told for
    QDate m_told15;
};
