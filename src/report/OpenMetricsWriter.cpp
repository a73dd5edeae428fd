// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/OpenMetricsWriter.h"

#include <QLocale>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double BytesPerMB = 1024.0 * 1024.0;
const QString Units = u" MB and GB in the statistics views are 1048576 and 1073741824 bytes."_s;

struct Family
{
    QString text;
    QString labels; // of every sample: where the bytes were metered

    // Metadata first, as both formats want it; the unit is the name's last part.
    void begin(const QString &name, const QString &unit, const QString &help)
    {
        text += u"# TYPE %1 gauge\n"_s.arg(name);
        text += u"# UNIT %1 %2\n"_s.arg(name, unit);
        text += u"# HELP %1 %2\n"_s.arg(name, help);
    }
    void sample(const QString &name, const QString &more, double value)
    {
        const QString all = more.isEmpty() ? labels : more + u',' + labels;
        text += u"%1{%2} %3\n"_s.arg(name, all, OpenMetricsWriter::number(value));
    }
    void directions(const QString &name, const QString &more, double upload, double download)
    {
        const QString prefix = more.isEmpty() ? QString() : more + u',';
        sample(name, prefix + u"direction=\"upload\""_s, upload);
        sample(name, prefix + u"direction=\"download\""_s, download);
        sample(name, prefix + u"direction=\"total\""_s, upload + download);
    }
    void timestamp(const QString &name, const QString &help, const QDateTime &at)
    {
        if (!at.isValid())
            return;
        begin(name, u"seconds"_s, help);
        sample(name, QString(), double(at.toSecsSinceEpoch()));
    }
};

} // namespace

QString OpenMetricsWriter::labelValue(const QString &text)
{
    QString value;
    value.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            value += u'\\' + QString(c);
        else if (c == u'\n')
            value += u"\\n"_s;
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() == 0x85 || c.unicode() == 0x2028
            || c.unicode() == 0x2029)
            value += QChar(0xfffd);
        else
            value += c;
    }
    return value;
}

QString OpenMetricsWriter::number(double value)
{
    if (std::isnan(value))
        return u"NaN"_s;
    if (std::isinf(value))
        return value > 0 ? u"+Inf"_s : u"-Inf"_s;
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0)
        return QString::number(qint64(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray OpenMetricsWriter::write(const MetricsData &data)
{
    Family f;
    f.labels = data.router ? u"source=\"router\",router=\"%1\""_s.arg(labelValue(data.routerName))
                           : u"source=\"interfaces\""_s;
    f.begin(u"varnolt_period_bytes"_s, u"bytes"_s,
        u"Traffic of the current day, ISO week, calendar month and year, as the statistics views count it, "
        "the row not logged yet included."_s
            + Units);
    for (const MetricsData::Period &period : data.periods)
        f.directions(
            u"varnolt_period_bytes"_s, u"period=\"%1\""_s.arg(period.name), period.uploadBytes, period.downloadBytes);
    f.begin(u"varnolt_period_start_timestamp_seconds"_s, u"seconds"_s,
        u"Local midnight of the current period's first day (Monday for weeks), in Unix time."_s);
    for (const MetricsData::Period &period : data.periods)
        f.sample(u"varnolt_period_start_timestamp_seconds"_s, u"period=\"%1\""_s.arg(period.name),
            double(period.firstDay.startOfDay().toSecsSinceEpoch()));

    f.begin(u"varnolt_open_row_bytes"_s, u"bytes"_s,
        u"Traffic of the running Varnolt not logged yet (its journal), counted in the periods above."_s);
    f.directions(u"varnolt_open_row_bytes"_s, QString(), data.openUploadBytes, data.openDownloadBytes);
    f.timestamp(
        u"varnolt_open_row_start_timestamp_seconds"_s, u"When the row not logged yet began."_s, data.openRowStart);

    const StatusData &status = data.status;
    f.begin(u"varnolt_allowance_used_bytes"_s, u"bytes"_s,
        u"Traffic of the allowance's window, logged and not logged yet."_s + Units);
    f.sample(u"varnolt_allowance_used_bytes"_s, QString(), status.usedMB * BytesPerMB);
    if (status.allowanceMB > 0) {
        // Without an allowance there is nothing left to give.
        f.begin(u"varnolt_allowance_bytes"_s, u"bytes"_s, u"The allowance of the window."_s + Units);
        f.sample(u"varnolt_allowance_bytes"_s, QString(), status.allowanceMB * BytesPerMB);
        f.begin(u"varnolt_allowance_left_bytes"_s, u"bytes"_s,
            u"What is left of the allowance; below 0 once it is used up."_s);
        f.sample(u"varnolt_allowance_left_bytes"_s, QString(), (status.allowanceMB - status.usedMB) * BytesPerMB);
        f.begin(u"varnolt_allowance_left_ratio"_s, u"ratio"_s,
            u"What is left as a share of the allowance, 1 unused, 0 used up, below 0 beyond."_s);
        f.sample(
            u"varnolt_allowance_left_ratio"_s, QString(), (status.allowanceMB - status.usedMB) / status.allowanceMB);
    }
    f.timestamp(u"varnolt_window_start_timestamp_seconds"_s, u"Where the allowance's window begins, in Unix time."_s,
        status.windowStart);
    f.timestamp(u"varnolt_window_end_timestamp_seconds"_s,
        u"When the allowance's window next moves on, in Unix time."_s, status.windowEnd);
    return (f.text + u"# EOF\n"_s).toUtf8();
}
