// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/AllowanceStatus.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// A volume view as the report prints it: the statistics window's rows, oldest first, and
// their total.
struct PeriodTable
{
    QString view; // day, week, month or year
    QString unit; // MB for days, GB for the rest
    QStringList series; // Upload, Download, Total
    QStringList labels; // a row's period as the window labels it
    QList<QDate> firstDays; // a row's period as dates: its first day and its last (invalid
    QList<QDate> lastDays; // where a view made by hand gives no period)
    QList<QList<double>> rows; // a value per series
    QList<double> total;
    double openRowMB = 0; // the running program's row not logged yet, counted in the current period
};

// The allowance as the monitor shows it, and its forecast: the statistics window's own.
using StatusData = AllowanceStatus;
