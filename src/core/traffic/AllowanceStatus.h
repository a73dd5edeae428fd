// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/AllowanceForecast.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

class Clock;
class Settings;
class StoreSession;
struct RunCounters;

// The allowance as the monitor shows it (its volume-left line, alerts off), the use of the
// current tracking window and where that use is heading. The statistics window and
// `varnolt-report status` both read it here, so that they always tell the same forecast.
struct AllowanceStatus
{
    QString volumeLeftText; // the monitor's line; empty without an allowance
    double allowanceMB = 0;
    double usedMB = 0; // the window's logged volume and the open row
    double openRowMB = 0;
    qint32 periodLength = 0;
    QString intervalCode; // "d", "ww" or "m"
    QString periodUnit; // days, weeks or months
    int startDay = 1; // of the month, for monthly windows
    QDateTime now;
    QDateTime windowStart;
    QDateTime windowEnd; // when the window's start next moves on
    // At the window's pace. Once the allowance is used up, runsOut is 00:00 of ranOut.
    Forecast forecast;
    // The day the window's use first reached the allowance (the open row counted on today);
    // invalid while some of it is left.
    QDate ranOut;

    bool isOver() const { return ranOut.isValid(); }

    // Reads the window's use over session (open), the run's row not logged yet (openRow:
    // current less base) counted on today. Nothing, with error, when the log cannot be read.
    static std::optional<AllowanceStatus> read(StoreSession &session, const QString &databasePath,
        const Settings &settings, const Clock &clock, const RunCounters &openRow, QString &error);
    // The same over a connection of its own, read-only when asked.
    static std::optional<AllowanceStatus> read(const QString &databasePath, const Settings &settings,
        const Clock &clock, const RunCounters &openRow, QString &error, bool readOnly = false);

    // The first day on which the running sum of these per-day volumes (oldest first, in
    // bytes) reaches allowanceMB; invalid when it never does.
    static QDate dayReached(const QList<std::pair<QDate, double>> &dayBytes, double allowanceMB);
};
