// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/TextReportWriter.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QString dateText(const QDateTime &dateTime)
{
    return QLocale().toString(dateTime, QLocale::ShortFormat);
}

} // namespace

QString TextReportWriter::number(double value, int decimals)
{
    // The statistics window rounds halves to even; rounding first keeps its digits here.
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::nearbyint(value * scale) / scale + 0.0;
    return QLocale().toString(rounded, 'f', decimals);
}

QByteArray TextReportWriter::periods(const PeriodTable &table) const
{
    QList<QStringList> lines;
    QStringList header {u"Period"_s};
    for (const QString &series : table.series)
        header << u"%1 (%2)"_s.arg(series, table.unit);
    lines << header;
    for (qsizetype row = 0; row < table.rows.size(); ++row) {
        QStringList line {table.labels.at(row)};
        for (double value : table.rows.at(row))
            line << number(value);
        lines << line;
    }
    QStringList total {u"Total"_s};
    for (double value : table.total)
        total << number(value);
    lines << total;

    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList &line : std::as_const(lines)) {
        for (qsizetype column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line.at(column).size());
    }
    const auto format = [&](const QStringList &line) -> QString {
        QString text = line.first().leftJustified(widths.first());
        for (qsizetype column = 1; column < line.size(); ++column)
            text += u"  "_s + line.at(column).rightJustified(widths.at(column));
        return text + u'\n';
    };
    QString text;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        text += format(lines.at(i));
    qsizetype width = 0;
    for (qsizetype w : widths)
        width += w + 2;
    text += QString(width - 2, u'-') + u'\n' + format(lines.last());
    if (table.openRowMB > 0)
        text += u"The current period includes %1 MB of the running Varnolt not logged yet.\n"_s.arg(
            number(table.openRowMB, 1));
    return text.toUtf8();
}

QByteArray TextReportWriter::status(const StatusData &status) const
{
    QList<QPair<QString, QString>> lines;
    if (status.allowanceMB > 0) {
        lines.append({u"Volume left"_s, status.volumeLeftText});
        lines.append({u"Allowance"_s, number(status.allowanceMB, 0) + u" MB"_s});
    } else {
        lines.append({u"Allowance"_s, u"none set"_s});
    }
    // The window as the options dialog sets it: N intervals back from the reference day.
    QString period;
    const qint32 n = status.periodLength;
    if (status.periodUnit == u"months"_s) {
        period = u"monthly from day %1"_s.arg(status.startDay);
        if (n > 0)
            period += u", and the %1 month(s) before"_s.arg(n);
    } else {
        period = n > 0 ? u"today and the %1 %2 before"_s.arg(n).arg(status.periodUnit) : u"today"_s;
    }
    lines.append({u"Period"_s, period});
    lines.append({u"Window"_s, u"%1 to %2"_s.arg(dateText(status.windowStart), dateText(status.windowEnd))});
    QString used = number(status.usedMB, 1) + u" MB"_s;
    if (status.openRowMB > 0)
        used += u" (%1 MB not logged yet)"_s.arg(number(status.openRowMB, 1));
    lines.append({u"Used"_s, used});
    const Forecast &forecast = status.forecast;
    lines.append({u"Pace"_s, number(forecast.paceMBPerDay, 1) + u" MB a day"_s});
    if (status.ranOut.isValid())
        lines.append({u"Forecast"_s,
            u"the allowance ran out on %1"_s.arg(QLocale().toString(status.ranOut, QLocale::ShortFormat))});
    else if (forecast.runsOut.isValid())
        lines.append({u"Forecast"_s, u"the allowance runs out on %1"_s.arg(dateText(forecast.runsOut))});
    else
        lines.append({u"Forecast"_s, u"%1 MB used at the window's end"_s.arg(number(forecast.expectedAtEndMB, 1))});

    qsizetype width = 0;
    for (const auto &line : std::as_const(lines))
        width = std::max(width, line.first.size());
    QString text;
    for (const auto &line : std::as_const(lines))
        text += QString(line.first + u':').leftJustified(width + 3) + line.second + u'\n';
    return text.toUtf8();
}
