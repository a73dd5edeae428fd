// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/AllowanceNotices.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/StoreSession.h"
#include "core/traffic/AllowanceForecast.h"
#include "core/traffic/RunCounters.h"

#include <QLocale>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcNotify, "varnolt.notify")

using namespace Qt::StringLiterals;

namespace {

constexpr double BytesPerMB = 1024.0 * 1024.0;

QString storedKey(int percent)
{
    return u"Notified%1"_s.arg(percent);
}

QString number(double value, int decimals)
{
    return QLocale().toString(value, 'f', decimals);
}

// As the report writes its dates.
QString dateText(const QDateTime &dateTime)
{
    return QLocale().toString(dateTime, QLocale::ShortFormat);
}

} // namespace

AllowanceNotices::AllowanceNotices(
    QString databasePath, const Clock &clock, const Settings &settings, const RunCounters &counters)
    : m_databasePath(std::move(databasePath))
    , m_clock(clock)
    , m_settings(settings)
    , m_counters(counters)
{
}

std::optional<AllowanceNotice> AllowanceNotices::check(VolumeAlert alert)
{
    const Settings &s = m_settings;
    // The alert follows the line only while the line is computed: with it off, or without an
    // allowance, the colour is left as it was and tells nothing of now.
    if (!s.notify() || !s.whatsLeft() || s.maxMB <= 0)
        return std::nullopt;
    const int percent = alert == VolumeAlert::Red ? 15 : alert == VolumeAlert::Orange ? 30 : 0;
    if (percent == 0)
        return std::nullopt;
    const QDateTime now = m_clock.now();
    const QString code = VolumeLeftText::intervalCode(QString::number(s.periodType));
    const QDate firstDay = AllowanceForecast::firstDay(code, now.date(), s.periodLength, s.startDay);
    loadTold();
    if ((percent == 30 ? m_told30 : m_told15) == firstDay)
        return std::nullopt;
    tell(percent, firstDay);
    return notice(percent, code, now);
}

void AllowanceNotices::loadTold()
{
    if (m_loaded)
        return;
    m_loaded = true;
    StoreSession session(m_databasePath);
    const std::optional<QueryResult> rows = session.open()
        ? session.queryNative(u"select settingname, settingvalue from settings where settingname in "
                              "('Notified30', 'Notified15')"_s)
        : std::nullopt;
    if (!rows) {
        qCWarning(lcNotify) << "what was notified could not be read:" << session.errorString();
        return;
    }
    // Table order, the last row of a key winning, as the settings are read; a value that is
    // no date (edited by hand) tells nothing.
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QDate day = QDate::fromString(rows->value(row, u"settingvalue"_s).toString(), Qt::ISODate);
        const bool thirty
            = rows->value(row, u"settingname"_s).toString().compare(storedKey(30), Qt::CaseInsensitive) == 0;
        (thirty ? m_told30 : m_told15) = day;
    }
}

void AllowanceNotices::tell(int percent, const QDate &firstDay)
{
    // Less than 15 % left says all that the 30 % notice would: it is not told after it.
    m_told30 = firstDay;
    QList<QPair<QString, QString>> rows {{storedKey(30), firstDay.toString(Qt::ISODate)}};
    if (percent == 15) {
        m_told15 = firstDay;
        rows.append({storedKey(15), firstDay.toString(Qt::ISODate)});
    }
    // Kept for the run even when the database refuses it: a notice once per run at worst.
    SettingsStore store(m_databasePath);
    if (!store.write(rows))
        qCWarning(lcNotify) << "what was notified could not be stored:" << store.errorString();
}

AllowanceNotice AllowanceNotices::notice(int percent, const QString &intervalCode, const QDateTime &now) const
{
    const Settings &s = m_settings;
    const RunCounters &c = m_counters;
    // The volume-left line's figures: the logged volume it cached and the current row.
    const double used = s.cachedVolume + (c.curOut + c.curIn - c.baseOut - c.baseIn) / BytesPerMB;
    const QDateTime start = AllowanceForecast::windowStart(intervalCode, now, s.periodLength, s.startDay);
    const QDateTime end = AllowanceForecast::windowEnd(intervalCode, now.date(), s.startDay);
    const Forecast forecast = AllowanceForecast::forecast(start, end, now, used, s.maxMB);

    AllowanceNotice notice;
    notice.percent = percent;
    notice.urgent = percent == 15;
    const double left = s.maxMB - used;
    if (left > 0) {
        notice.summary = u"Less than %1 % of the allowance left"_s.arg(percent);
        notice.body = u"%1 MB of %2 MB left (%3 %)."_s.arg(
            number(left, 0), number(s.maxMB, 0), number(left * 100 / s.maxMB, 1));
    } else {
        notice.summary = u"The allowance is used up"_s;
        notice.body = u"%1 MB over the allowance of %2 MB."_s.arg(number(-left, 0), number(s.maxMB, 0));
    }
    if (left > 0 && forecast.runsOut.isValid())
        notice.body += u"\nAt this pace the allowance runs out on %1."_s.arg(dateText(forecast.runsOut));
    else
        notice.body += u"\nAt this pace %1%2 MB used at the window's end (%3)."_s.arg(
            left > 0 ? u"it lasts: "_s : QString(), number(forecast.expectedAtEndMB, 1), dateText(end));
    return notice;
}
