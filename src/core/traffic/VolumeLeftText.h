// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/QueryResult.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

class Clock;
class Settings;
class StoreSession;
class WarningSound;
struct RunCounters;

// The colour of the volume-left line, which is also the state of the warning sounds.
enum class VolumeAlert {
    Initial, // nothing evaluated yet: the label's own text colour
    Green, // 30 % or more left
    Orange, // less than 30 % left
    Red, // less than 15 % left, or the allowance used up
};

// How much of the allowance is left: the logged volume of the tracking period (kept in a
// cache so that the poll does not ask the database every 500 ms) plus the current row.
// The monitor calls it with alerts on, which colours its line and may sound a warning; the
// options dialog calls it with alerts off for its preview.
class VolumeLeftText final
{
public:
    VolumeLeftText(QString databasePath, const Clock &clock, const RunCounters &counters, const Settings &settings,
        WarningSound *sound, QString soundFolder);

    // The volume-left text ("1234 MB (61,7 %) Left.", "0 MB Left." at the allowance,
    // "Exceeded by 20 MB." past it, or empty without an allowance). cache: the logged volume
    // in MB, 0 to ask the database. windowStart, when given, receives the start of the
    // tracking window.
    QString text(double maxMB, qint32 periodLength, const QString &periodTypeText, double &cache, bool alertsOn,
        qint16 startDay, QDateTime *windowStart = nullptr);

    VolumeAlert alert() const { return m_alert; }
    // Reads the log over a read-only connection (the command-line report).
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // "d", "ww" or "m" for the period type's list index as text; anything else is "d".
    static QString intervalCode(const QString &periodTypeText);
    // The day the tracking window is counted back from.
    static QDate referenceDate(const QString &intervalCode, const QDate &today, int startDay);
    // How many intervals the window reaches back: periodLength kept to 0 (the window starts at
    // the reference day) and to about a thousand years, so that the count is always a plain
    // non-negative number in SQL text and the window's start a date the calendar holds.
    static qint32 windowIntervals(const QString &intervalCode, qint32 periodLength);
    // The query of the logged volume of the window that starts after 00:00 of the reference
    // day less periodLength intervals. With dayTotals it reads the per-day totals (LogPerDay)
    // for the whole days and the log only for the window's first day (and for a day on which a
    // row lacks a count), and gives the same sum as the log's rows one by one; without, it sums
    // the log's rows, for a database that has no per-day totals.
    static QString loggedVolumeQuery(
        const QString &intervalCode, qint32 periodLength, const QDate &reference, bool dayTotals = true);
    // Runs the query on session, with the per-day totals when the database has them; nothing
    // (and the session's error) when the database cannot be read.
    static std::optional<QueryResult> queryLoggedVolume(
        StoreSession &session, const QString &intervalCode, qint32 periodLength, const QDate &reference);

private:
    // The logged volume of the tracking window in MB; nothing when the sum is Null or the
    // database cannot be read.
    std::optional<double> loggedVolume(const QString &code, qint32 periodLength, const QDate &reference);
    void updateAlert(double leftPercent);

    QString m_databasePath;
    const Clock &m_clock;
    const RunCounters &m_counters;
    const Settings &m_settings;
    WarningSound *m_sound;
    QString m_soundFolder;
    VolumeAlert m_alert = VolumeAlert::Initial;
    bool m_queryFailing = false;
    bool m_readOnly = false;
};
