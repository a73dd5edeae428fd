// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/CsvReportWriter.h"

#include "core/CsvExport.h"

using namespace Qt::StringLiterals;

namespace {

const QString LineEnd = u"\r\n"_s;

// A period label or the volume-left text may hold the locale's comma: quoted then.
QString field(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n'))
        return text;
    return u'"' + QString(text).replace(u"\""_s, u"\"\""_s) + u'"';
}

} // namespace

QByteArray CsvReportWriter::periods(const PeriodTable &table) const
{
    QStringList header {u"Period"_s};
    for (const QString &series : table.series)
        header << series + table.unit;
    QString text = header.join(u',') + LineEnd;
    const auto line = [](const QString &label, const QList<double> &values) -> QString {
        QStringList fields {field(label)};
        for (double value : values)
            fields << CsvExport::exportNumber(value);
        return fields.join(u',') + LineEnd;
    };
    for (qsizetype row = 0; row < table.rows.size(); ++row)
        text += line(table.labels.at(row), table.rows.at(row));
    text += line(u"Total"_s, table.total);
    return text.toUtf8();
}

QByteArray CsvReportWriter::status(const StatusData &status) const
{
    const Forecast &forecast = status.forecast;
    const QStringList header {u"VolumeLeft"_s, u"AllowanceMB"_s, u"UsedMB"_s, u"OpenRowMB"_s, u"PeriodLength"_s,
        u"PeriodUnit"_s, u"StartDay"_s, u"WindowStart"_s, u"WindowEnd"_s, u"PaceMBPerDay"_s, u"ExpectedAtEndMB"_s,
        u"RunsOut"_s, u"RanOut"_s};
    const QStringList values {field(status.volumeLeftText), CsvExport::exportNumber(status.allowanceMB),
        CsvExport::exportNumber(status.usedMB), CsvExport::exportNumber(status.openRowMB),
        QString::number(status.periodLength), status.periodUnit, QString::number(status.startDay),
        isoDate(status.windowStart), isoDate(status.windowEnd), CsvExport::exportNumber(forecast.paceMBPerDay),
        CsvExport::exportNumber(forecast.expectedAtEndMB), isoDate(forecast.runsOut),
        status.ranOut.toString(Qt::ISODate)};
    return (header.join(u',') + LineEnd + values.join(u',') + LineEnd).toUtf8();
}
