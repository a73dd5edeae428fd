// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/StatusReport.h"

#include "core/Clock.h"
#include "core/traffic/VolumeLeftText.h"
#include "report/ReportSource.h"

using namespace Qt::StringLiterals;

namespace {
constexpr double BytesPerMB = 1024.0 * 1024.0;
} // namespace

std::optional<StatusData> StatusReport::make(ReportSource &source, const Clock &clock, QString &error)
{
    const Settings &settings = source.settings();
    const QString typeText = QString::number(settings.periodType);
    const QString code = VolumeLeftText::intervalCode(typeText);
    StatusData status;
    status.now = clock.now();
    const QDate reference = VolumeLeftText::referenceDate(code, status.now.date(), settings.startDay);

    // Read here, on the report's connection, so that a database that cannot be read is
    // reported instead of being counted as nothing logged.
    const std::optional<QueryResult> logged
        = VolumeLeftText::queryLoggedVolume(source.session(), code, settings.periodLength, reference);
    if (!logged) {
        error = source.session().errorString().section(u'\n', 0, 0);
        return std::nullopt;
    }
    double cache = logged->value(0, u"LoggedVolume"_s).toDouble();
    const double loggedMB = cache;

    VolumeLeftText volumeLeft(source.databasePath(), clock, source.openRow(), settings, nullptr, QString());
    volumeLeft.setReadOnly(true);
    status.volumeLeftText = volumeLeft.text(
        settings.maxMB, settings.periodLength, typeText, cache, false, settings.startDay, &status.windowStart);
    status.windowEnd = windowEnd(code, status.now.date(), settings.startDay);
    const RunCounters &run = source.openRow();
    status.openRowMB = (run.rowBytesIn() + run.rowBytesOut()) / BytesPerMB;
    status.usedMB = loggedMB + status.openRowMB;
    status.allowanceMB = settings.maxMB;
    status.periodLength = settings.periodLength;
    status.periodUnit = code == u"m"_s ? u"months"_s : code == u"ww"_s ? u"weeks"_s : u"days"_s;
    status.startDay = settings.startDay;
    status.forecast = forecast(status.windowStart, status.windowEnd, status.now, status.usedMB, status.allowanceMB);
    return status;
}
