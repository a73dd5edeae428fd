// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportData.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

class Clock;
class ReportSource;

// What a metrics collector is given: the current day, ISO week, month and year as the
// volume views count them (the open row included), the open row, and the allowance's window.
struct MetricsData
{
    struct Period
    {
        QString name; // day, week, month or year
        QDate firstDay;
        double uploadBytes = 0;
        double downloadBytes = 0;
        double totalBytes = 0;
    };
    QList<Period> periods;
    double openUploadBytes = 0;
    double openDownloadBytes = 0;
    QDateTime openRowStart; // invalid without an open row
    StatusData status;
    QString routerName; // empty when this computer's interfaces are metered
    bool router = false;
};

class MetricsReport final
{
public:
    // Reads the four views and the status. A row closed by a running Varnolt while they are
    // read would be counted twice (in the log and as the open row read before), so the log
    // and the open row are compared before and after, and everything is read again when
    // they moved.
    static std::optional<MetricsData> make(ReportSource &source, const Clock &clock, QString &error);
    // The first day of the period of a view (0 to 3) that holds today.
    static QDate firstDay(int view, const QDate &today);
};
