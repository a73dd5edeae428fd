// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/VolumeLeftText.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "core/store/JetSql.h"
#include "core/store/NumberText.h"
#include "core/store/StoreSession.h"
#include "core/traffic/AllowanceForecast.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/WarningSound.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcVolumeLeft, "varnolt.volumeleft")

namespace {

constexpr double BytesPerMB = 1024.0 * 1024.0;

// The user's decimal point and minus sign, but never a group separator: "1234 MB", not "1.234 MB".
QString number(double value, int decimals)
{
    return NumberText::fixed(value, decimals);
}

// Past the allowance the line says by how much, in whole MB; a first fraction of a MB is
// not rounded away to "0 MB", which would read as nothing used past it.
QString exceededText(double overMB)
{
    const double whole = std::round(overMB);
    return QLatin1String("Exceeded by ") + (whole < 1 ? QStringLiteral("less than 1") : number(whole, 0))
        + QLatin1String(" MB.");
}

} // namespace

VolumeLeftText::VolumeLeftText(QString databasePath, const Clock &clock, const RunCounters &counters,
    const Settings &settings, WarningSound *sound, QString soundFolder)
    : m_databasePath(std::move(databasePath))
    , m_clock(clock)
    , m_counters(counters)
    , m_settings(settings)
    , m_sound(sound)
    , m_soundFolder(std::move(soundFolder))
{
}

QString VolumeLeftText::intervalCode(const QString &periodTypeText)
{
    if (periodTypeText == QLatin1String("1"))
        return QStringLiteral("ww");
    if (periodTypeText == QLatin1String("2"))
        return QStringLiteral("m");
    return QStringLiteral("d");
}

QDate VolumeLeftText::referenceDate(const QString &intervalCode, const QDate &today, int startDay)
{
    if (intervalCode != QLatin1String("m"))
        return today;
    const int day = today.day();
    if (day >= startDay)
        return today.addDays(-(day - startDay));
    // The start day is still to come this month: the period began on the previous month's
    // start day, or on its last day when that month is too short to have one.
    const QDate lastOfPrevious = QDate(today.year(), today.month(), 1).addDays(-1);
    return QDate(lastOfPrevious.year(), lastOfPrevious.month(), std::min(startDay, lastOfPrevious.day()));
}

qint32 VolumeLeftText::windowIntervals(const QString &intervalCode, qint32 periodLength)
{
    // A negative length would write "-" + "-5", and "--" starts an SQL comment.
    const qint32 limit = intervalCode == QLatin1String("m") ? 12000
        : intervalCode == QLatin1String("ww")               ? 52000
                                                            : 365000;
    return std::clamp(periodLength, qint32(0), limit);
}

QString VolumeLeftText::loggedVolumeQuery(
    const QString &intervalCode, qint32 periodLength, const QDate &reference, bool dayTotals)
{
    const QString code = intervalCode == QLatin1String("m") || intervalCode == QLatin1String("ww")
        ? intervalCode
        : QStringLiteral("d");
    // 00:00:00 of the window's first day, as stored text; the rows count that start after it.
    const QString windowStart = QLatin1String("dateadd('") + code + QLatin1String("',-")
        + QString::number(windowIntervals(code, periodLength)) + QLatin1Char(',')
        + JetSql::dateLiteral(QDateTime(reference, QTime(0, 0))) + QLatin1Char(')');
    if (!dayTotals) {
        return QLatin1String("select sum(bytessent+bytesrcvd)/(1024*1024.0) as loggedVolume from log where "
                             "DateAndTimeStart>")
            + windowStart;
    }

    // The log's dates are 'yyyy-MM-dd HH:mm:ss' (its CHECK constraints), so a row starts on the
    // day D exactly when its start lies between D and D||'!' ("!" follows the space after the
    // date), and on a later day exactly when its day is greater than D. A row whose two counts
    // are not both there adds nothing to the log's sum, while the day's totals would hold its
    // other count: a day with such a row is summed from its rows. The byte counts are whole
    // numbers, so the sum is exact and the same in whatever order its parts are added.
    const QString firstDay = QLatin1String("substr(") + windowStart + QLatin1String(",1,10)");
    return QLatin1String("select sum(volume)/(1024*1024.0) as loggedVolume from ("
                         "select bytessent+bytesrcvd as volume from log where DateAndTimeStart>")
        + windowStart + QLatin1String(" and DateAndTimeStart<") + firstDay
        + QLatin1String("||'!' union all "
                        "select BytesDown+BytesUp from LogPerDay where Day>")
        + firstDay
        + QLatin1String(" and DownCount=RowCount and UpCount=RowCount union all "
                        "select log.bytessent+log.bytesrcvd from LogPerDay join log "
                        "on log.DateAndTimeStart>LogPerDay.Day and log.DateAndTimeStart<LogPerDay.Day||'!' "
                        "where LogPerDay.Day>")
        + firstDay + QLatin1String(" and (DownCount<RowCount or UpCount<RowCount))");
}

std::optional<QueryResult> VolumeLeftText::queryLoggedVolume(
    StoreSession &session, const QString &intervalCode, qint32 periodLength, const QDate &reference)
{
    // Start-up adds the per-day totals to every database it opens; a database the program has
    // not started on since (read by the report) is summed row by row.
    const std::optional<QueryResult> table = session.queryNative(
        QStringLiteral("select 1 from sqlite_master where type = 'table' and name = 'LogPerDay' collate nocase"));
    if (!table)
        return std::nullopt;
    return session.query(loggedVolumeQuery(intervalCode, periodLength, reference, !table->isEmpty()));
}

std::optional<double> VolumeLeftText::loggedVolume(const QString &code, qint32 periodLength, const QDate &reference)
{
    StoreSession session(m_databasePath);
    session.setReadOnly(m_readOnly);
    std::optional<QueryResult> result;
    if (session.open())
        result = queryLoggedVolume(session, code, periodLength, reference);
    if (!result) {
        // The poll asks again every 500 ms while this lasts; one warning per outage is enough.
        if (!m_queryFailing)
            qCWarning(lcVolumeLeft) << "logged volume not read, counted as 0:" << session.errorString();
        m_queryFailing = true;
        return std::nullopt;
    }
    m_queryFailing = false;
    const QVariant value = result->value(0, QStringLiteral("LoggedVolume"));
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

void VolumeLeftText::updateAlert(double leftPercent)
{
    const bool soundsOn = m_settings.playWav() && m_sound;
    if (leftPercent < 15) {
        if (m_alert == VolumeAlert::Red)
            return;
        // Only a step down from a colour already shown sounds; the first evaluation of the
        // run (Initial) sets the colour silently.
        if (soundsOn && (m_alert == VolumeAlert::Orange || m_alert == VolumeAlert::Green))
            m_sound->play(m_soundFolder + QLatin1String("/15Percent.wav"));
        m_alert = VolumeAlert::Red;
    } else if (leftPercent < 30) {
        if (m_alert == VolumeAlert::Orange)
            return;
        if (soundsOn && m_alert == VolumeAlert::Green)
            m_sound->play(m_soundFolder + QLatin1String("/30Percent.wav"));
        m_alert = VolumeAlert::Orange;
    } else {
        m_alert = VolumeAlert::Green;
    }
}

QString VolumeLeftText::text(double maxMB, qint32 periodLength, const QString &periodTypeText, double &cache,
    bool alertsOn, qint16 startDay, QDateTime *windowStart)
{
    const QString code = intervalCode(periodTypeText);
    const QDateTime now = m_clock.now();
    const QDate reference = referenceDate(code, now.date(), startDay);
    const RunCounters &c = m_counters;
    const double run = (c.curOut + c.curIn - c.baseOut - c.baseIn) / BytesPerMB;

    // Asks the database only while nothing is cached, so that a poll every 500 ms stays off
    // the disk. A sum of 0 (nothing logged) leaves the cache empty and is asked for again.
    double used = run;
    if (cache == 0) {
        if (const std::optional<double> logged = loggedVolume(code, periodLength, reference)) {
            used += *logged;
            cache = *logged;
        }
    } else {
        used += cache;
    }

    QString text;
    if (maxMB > 0) {
        const double usedPercent = used * 100 / maxMB;
        if (used > maxMB) {
            text = exceededText(used - maxMB);
        } else {
            text = number(maxMB - used, 0) + QLatin1String(" MB");
            if (usedPercent < 100)
                text += QLatin1String(" (") + number(100 - usedPercent, 1) + QLatin1String(" %)");
            text += QLatin1String(" Left.");
        }
        if (alertsOn && usedPercent < 100)
            updateAlert(100 - usedPercent);
        else if (alertsOn)
            m_alert = VolumeAlert::Red; // used up: red without a sound of its own
    }

    if (windowStart)
        *windowStart = AllowanceForecast::windowStart(code, now, periodLength, startDay);
    return text;
}
