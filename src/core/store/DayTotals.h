// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The per-day totals of the log: the table LogPerDay, one row per calendar day on which a log
// row starts, kept by triggers on Log, and the four period views that read it instead of the
// log. The shipped database holds the same texts (resources/schema.sql); the start-up upgrade
// adds them to a database made before.
class DayTotals
{
public:
    // CREATE TABLE LogPerDay.
    static QString tableSql();
    // The CREATE TRIGGER statements that keep LogPerDay equal to the totals of Log.
    static QStringList triggerSql();
    // Fills an empty LogPerDay from the log as it stands.
    static QString fillSql();
    // Each period view's name and its text after "CREATE VIEW <name> AS ", the day view first.
    static QList<QPair<QString, QString>> views();
};
