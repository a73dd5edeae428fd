// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/JsonReportWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

QJsonObject values(const PeriodTable &table, const QList<double> &row)
{
    QJsonObject object;
    for (qsizetype series = 0; series < table.series.size(); ++series)
        object.insert(table.series.at(series).toLower() + u'_' + table.unit.toLower(), row.value(series));
    return object;
}

QJsonValue date(const QDateTime &dateTime)
{
    return dateTime.isValid() ? QJsonValue(ReportWriter::isoDate(dateTime)) : QJsonValue(QJsonValue::Null);
}

// A calendar day as ISO 8601 writes it ("2026-12-31"), null where there is none.
QJsonValue day(const QDate &date)
{
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QByteArray JsonReportWriter::periods(const PeriodTable &table) const
{
    QJsonArray periods;
    for (qsizetype row = 0; row < table.rows.size(); ++row) {
        QJsonObject period = values(table, table.rows.at(row));
        period.insert(u"period"_s, table.labels.at(row));
        // The label is the window's and follows the locale; programs read these.
        period.insert(u"start"_s, day(table.firstDays.value(row)));
        period.insert(u"end"_s, day(table.lastDays.value(row)));
        periods.append(period);
    }
    const QJsonObject document {{u"view"_s, table.view}, {u"unit"_s, table.unit}, {u"periods"_s, periods},
        {u"total"_s, values(table, table.total)}, {u"open_row_mb"_s, table.openRowMB}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QByteArray JsonReportWriter::status(const StatusData &status) const
{
    const Forecast &forecast = status.forecast;
    const QJsonObject document {
        {u"volume_left_text"_s, status.volumeLeftText},
        {u"allowance_mb"_s, status.allowanceMB},
        {u"used_mb"_s, status.usedMB},
        {u"left_mb"_s, status.allowanceMB > 0 ? QJsonValue(status.allowanceMB - status.usedMB) : QJsonValue()},
        {u"open_row_mb"_s, status.openRowMB},
        {u"period"_s,
            QJsonObject {
                {u"length"_s, status.periodLength}, {u"unit"_s, status.periodUnit}, {u"start_day"_s, status.startDay}}},
        {u"now"_s, date(status.now)},
        {u"window_start"_s, date(status.windowStart)},
        {u"window_end"_s, date(status.windowEnd)},
        {u"forecast"_s,
            QJsonObject {{u"pace_mb_per_day"_s, forecast.paceMBPerDay},
                {u"expected_at_end_mb"_s, forecast.expectedAtEndMB}, {u"runs_out"_s, date(forecast.runsOut)},
                {u"ran_out"_s, day(status.ranOut)}}},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
