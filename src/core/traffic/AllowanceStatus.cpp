// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/AllowanceStatus.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/VolumeLeftText.h"

using namespace Qt::StringLiterals;

namespace {

constexpr double BytesPerMB = 1024.0 * 1024.0;

QString firstLine(const QString &message)
{
    return message.section(u'\n', 0, 0);
}

// The window's logged bytes day by day, oldest first: the rows that start after 00:00 of its
// first day, as the logged volume counts them (a row lacking a count adds nothing).
std::optional<QList<std::pair<QDate, double>>> loggedPerDay(StoreSession &session, const QDate &firstDay)
{
    const std::optional<QueryResult> days = session.queryNative(
        u"SELECT substr(DateAndTimeStart, 1, 10) AS Day, sum(BytesSent + BytesRcvd) AS Bytes FROM Log "
        "WHERE DateAndTimeStart > '%1 00:00:00' GROUP BY Day ORDER BY Day"_s.arg(firstDay.toString(Qt::ISODate)));
    if (!days)
        return std::nullopt;
    QList<std::pair<QDate, double>> perDay;
    for (int row = 0; row < days->rowCount(); ++row) {
        const QDate day = QDate::fromString(days->value(row, u"Day"_s).toString(), Qt::ISODate);
        if (day.isValid())
            perDay.append({day, days->value(row, u"Bytes"_s).toDouble()});
    }
    return perDay;
}

} // namespace

QDate AllowanceStatus::dayReached(const QList<std::pair<QDate, double>> &dayBytes, double allowanceMB)
{
    const double allowanceBytes = allowanceMB * BytesPerMB;
    double sum = 0;
    for (const auto &[day, bytes] : dayBytes) {
        sum += bytes;
        if (sum >= allowanceBytes)
            return day;
    }
    return {};
}

std::optional<AllowanceStatus> AllowanceStatus::read(StoreSession &session, const QString &databasePath,
    const Settings &settings, const Clock &clock, const RunCounters &openRow, QString &error)
{
    const QString typeText = QString::number(settings.periodType);
    AllowanceStatus status;
    status.intervalCode = VolumeLeftText::intervalCode(typeText);
    const QString &code = status.intervalCode;
    status.now = clock.now();
    const QDate today = status.now.date();
    const QDate reference = VolumeLeftText::referenceDate(code, today, settings.startDay);

    // Read on the caller's connection, so that a database that cannot be read is reported
    // instead of being counted as nothing logged.
    const std::optional<QueryResult> logged
        = VolumeLeftText::queryLoggedVolume(session, code, settings.periodLength, reference);
    if (!logged) {
        error = firstLine(session.errorString());
        return std::nullopt;
    }
    double cache = logged->value(0, u"LoggedVolume"_s).toDouble();
    const double loggedMB = cache;

    VolumeLeftText volumeLeft(databasePath, clock, openRow, settings, nullptr, QString());
    volumeLeft.setReadOnly(true);
    status.volumeLeftText = volumeLeft.text(
        settings.maxMB, settings.periodLength, typeText, cache, false, settings.startDay, &status.windowStart);
    status.windowEnd = AllowanceForecast::windowEnd(code, today, settings.startDay);
    const double openRowBytes = openRow.rowBytesIn() + openRow.rowBytesOut();
    status.openRowMB = openRowBytes / BytesPerMB;
    status.usedMB = loggedMB + status.openRowMB;
    status.allowanceMB = settings.maxMB;
    status.periodLength = settings.periodLength;
    status.periodUnit = code == u"m"_s ? u"months"_s : code == u"ww"_s ? u"weeks"_s : u"days"_s;
    status.startDay = settings.startDay;
    status.forecast = AllowanceForecast::forecast(
        status.windowStart, status.windowEnd, status.now, status.usedMB, status.allowanceMB);

    if (status.allowanceMB > 0 && status.usedMB >= status.allowanceMB) {
        // The pace's answer lies in the past then, and only guesses: the day is read from the log.
        const QDate firstDay = AllowanceForecast::firstDay(code, today, settings.periodLength, settings.startDay);
        std::optional<QList<std::pair<QDate, double>>> perDay = loggedPerDay(session, firstDay);
        if (!perDay) {
            error = firstLine(session.errorString());
            return std::nullopt;
        }
        if (!perDay->isEmpty() && perDay->last().first >= today)
            perDay->last().second += openRowBytes;
        else
            perDay->append({today, openRowBytes});
        status.ranOut = dayReached(*perDay, status.allowanceMB);
        // A sum that the rounding of the two reads kept a hair below: it is used up today.
        if (!status.ranOut.isValid())
            status.ranOut = today;
        status.forecast.runsOut = QDateTime(status.ranOut, QTime(0, 0));
    }
    return status;
}

std::optional<AllowanceStatus> AllowanceStatus::read(const QString &databasePath, const Settings &settings,
    const Clock &clock, const RunCounters &openRow, QString &error, bool readOnly)
{
    StoreSession session(databasePath);
    session.setReadOnly(readOnly);
    if (!session.open()) {
        error = firstLine(session.errorString());
        return std::nullopt;
    }
    return read(session, databasePath, settings, clock, openRow, error);
}
