// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/StatsGrid.h"

#include "core/Clock.h"
#include "core/store/FormatDateText.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RunCounters.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Kilobits per second in a kilobyte per second, as the monitor shows its rates.
constexpr double KbpsFactor = 8.192;
constexpr qsizetype PeriodsShown = 12;

enum PeriodKind { Day, Week, Month, Year };

PeriodKind kindOf(int view)
{
    return PeriodKind(view % 4);
}

bool isSpeedView(int view)
{
    return view >= StatsGrid::SpeedPerDay;
}

QString periodLabel(int view, qint64 key)
{
    if (kindOf(view) == Day)
        return FormatDateText(QDateTime(QDate::fromJulianDay(key), QTime(0, 0)), u"dd/mm"_s);
    const QString ddate = QString::number(key);
    if (kindOf(view) == Week)
        return u"Wk "_s + ddate.right(2);
    if (kindOf(view) == Month)
        return ddate.right(2) + u'/' + ddate.left(4);
    return ddate;
}

// The days a row's period spans, from its key; invalid days where the key names no period.
std::pair<QDate, QDate> periodDays(int view, qint64 key)
{
    if (kindOf(view) == Day) {
        const QDate day = QDate::fromJulianDay(key);
        return {day, day};
    }
    if (kindOf(view) == Year) {
        if (key < 1 || key > 9999)
            return {};
        return {QDate(int(key), 1, 1), QDate(int(key), 12, 31)};
    }
    if (key < 100 || key > 999999)
        return {};
    const int year = int(key / 100);
    const int part = int(key % 100);
    if (kindOf(view) == Month) {
        const QDate first(year, part, 1);
        if (!first.isValid())
            return {};
        return {first, first.addMonths(1).addDays(-1)};
    }
    // ddate is the ISO week-year × 100 + the ISO week; week 1 is the one with 4 January in it.
    const QDate january4(year, 1, 4);
    const QDate monday = january4.addDays(1 - january4.dayOfWeek() + qint64(part - 1) * 7);
    int weekYear = 0;
    if (part < 1 || monday.weekNumber(&weekYear) != part || weekYear != year)
        return {}; // week 0, or a week 53 the year has not
    return {monday, monday.addDays(6)};
}

QString viewName(int view)
{
    static const QStringList names {
        u"DownloadPerDay"_s, u"DownloadPerWeek"_s, u"DownloadPerMonth"_s, u"DownloadPerYear"_s};
    return names.value(kindOf(view));
}

} // namespace

StatsGrid::StatsGrid(const Clock &clock, QObject *parent)
    : QAbstractTableModel(parent)
    , m_clock(clock)
    , m_statementLimitMs(StoreSession::StatementTimeLimitMs)
{
}

QStringList StatsGrid::viewEntries(bool kbps)
{
    const QString unit = kbps ? u"(Kbps)"_s : u"(kBps)"_s;
    return {u"Volume Per Day (MB)"_s, u"Volume Per Week (GB)"_s, u"Volume Per Month (GB)"_s, u"Volume Per Year (GB)"_s,
        u"Avg Speed per Day "_s + unit, u"Avg Speed per Week "_s + unit, u"Avg Speed per Month "_s + unit,
        u"Avg Speed per Year "_s + unit};
}

QString StatsGrid::valueText(double value)
{
    // nearbyint rounds halves to even in the default rounding mode; adding 0 turns -0 into 0.
    const double rounded = std::nearbyint(value * 1000) / 1000 + 0.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(rounded, 'f', QLocale::FloatingPointShortest);
}

QStringList StatsGrid::reportHeaders(int seriesCount)
{
    if (seriesCount < 3)
        return {u"Period"_s, u"Avg Down"_s, QString(), QString()};
    return {u"Period"_s, u"Up"_s, u"Down"_s, u"Total"_s};
}

StatsGrid::Outcome StatsGrid::fill(
    const QString &databasePath, int view, bool stacked, bool kbps, const RunCounters &run)
{
    m_error.clear();
    QList<Period> periods;
    const bool read = readPeriods(databasePath, view, periods);
    if (read && !isSpeedView(view) && (run.rowBytesIn() > 0 || run.rowBytesOut() > 0)) {
        // The run's traffic not yet logged belongs to the period it is metered in, which the
        // log may not hold yet: the first fill after midnight, or in a new week, month or year.
        const qint64 current = currentKey(view);
        auto at = std::lower_bound(
            periods.begin(), periods.end(), current, [](const Period &period, qint64 key) { return period.key < key; });
        if (at == periods.end() || at->key != current)
            at = periods.insert(at, Period {current});
        at->kbUp += run.rowBytesOut() / 1024;
        at->kbDown += run.rowBytesIn() / 1024;
        // The newest 12 periods, the current one among them.
        if (kindOf(view) != Day && periods.size() > PeriodsShown)
            periods.remove(0, periods.size() - PeriodsShown);
    }
    setGrid(view, stacked, kbps, read ? periods : QList<Period>());
    if (!read)
        return Outcome::Failed;
    return periods.isEmpty() ? Outcome::Empty : Outcome::Filled;
}

bool StatsGrid::readPeriods(const QString &databasePath, int view, QList<Period> &periods)
{
    if (view < 0 || view >= ViewCount) {
        m_error = u"There is no statistics view %1."_s.arg(view);
        return false;
    }
    StoreSession session(databasePath);
    session.setReadOnly(m_readOnly);
    session.setStatementTimeLimit(m_statementLimitMs);
    if (!session.open()) {
        m_error = session.errorString();
        return false;
    }
    const std::optional<QueryResult> result = session.query(query(view, m_clock.now().date()));
    if (!result) {
        // The views may be rewritten by hand: the message says which one failed, on its first line.
        m_error = u"The view %1 could not be read: %2"_s.arg(viewName(view), session.errorString());
        return false;
    }
    // The query gives the newest period first.
    for (int row = result->rowCount() - 1; row >= 0; --row) {
        Period period {0};
        if (kindOf(view) == Day) {
            const QDate day = result->dateTime(row, u"gdate"_s).date();
            // Without its date a row could not be placed, and the run of days would have no end.
            if (!day.isValid()) {
                m_error = u"The view DownloadPerDay gave a row without a date."_s;
                return false;
            }
            period.key = day.toJulianDay();
        } else {
            period.key = result->value(row, u"ddate"_s).toLongLong();
        }
        period.kbUp = result->value(row, u"kbup"_s).toDouble();
        period.kbDown = result->value(row, u"kbdown"_s).toDouble();
        period.avgDown = result->value(row, u"avgdown"_s).toDouble();
        periods.append(period);
    }
    return true;
}

qint64 StatsGrid::currentKey(int view) const
{
    const QDate today = m_clock.now().date();
    switch (kindOf(view)) {
    case Day:
        return today.toJulianDay();
    case Week: {
        // The week view's ddate: ISO week-year × 100 + ISO week (1 January may be in week 53).
        int year = 0;
        const int week = today.weekNumber(&year);
        return qint64(year) * 100 + week;
    }
    case Month:
        return qint64(today.year()) * 100 + today.month();
    case Year:
        break;
    }
    return today.year();
}

void StatsGrid::setGrid(int view, bool stacked, bool kbps, const QList<Period> &periods)
{
    beginResetModel();
    if (isSpeedView(view))
        m_seriesLabels = {u"Avg Down"_s};
    else if (stacked)
        m_seriesLabels = {u"Upload"_s, u"Download"_s};
    else
        m_seriesLabels = {u"Upload"_s, u"Download"_s, u"Total"_s};
    m_rowLabels.clear();
    m_rowDays.clear();
    m_values.clear();

    // The views hold kilobytes; the day view shows megabytes, the others gigabytes.
    const double divisor = kindOf(view) == Day ? 1024.0 : 1024.0 * 1024.0;
    const double k = kbps ? KbpsFactor : 1.0;
    const auto addRow = [&](const Period &period) {
        m_rowLabels.append(periodLabel(view, period.key));
        m_rowDays.append(periodDays(view, period.key));
        if (isSpeedView(view)) {
            m_values.append(period.avgDown * k);
            return;
        }
        m_values.append(period.kbUp / divisor);
        m_values.append(period.kbDown / divisor);
        if (!stacked)
            m_values.append((period.kbDown + period.kbUp) / divisor);
    };
    for (qsizetype i = 0; i < periods.size(); ++i) {
        // Days without traffic show as rows of zeros, so that the day views run without gaps.
        if (i > 0 && kindOf(view) == Day) {
            for (qint64 day = periods.at(i - 1).key + 1; day < periods.at(i).key; ++day)
                addRow(Period {day});
        }
        addRow(periods.at(i));
    }
    endResetModel();
}

double StatsGrid::value(int row, int series) const
{
    if (row < 0 || row >= m_rowLabels.size() || series < 0 || series >= seriesCount())
        return 0;
    return m_values.at(qsizetype(row) * seriesCount() + series);
}

int StatsGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rowLabels.size());
}

int StatsGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : seriesCount();
}

QVariant StatsGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return value(index.row(), index.column());
}

QVariant StatsGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    return orientation == Qt::Horizontal ? seriesLabel(section) : rowLabel(section);
}

QString StatsGrid::query(int view, const QDate &today)
{
    // ddate is a number yyyymmdd, so the day views compare it with one, unquoted.
    const QString since = FormatDateText(QDateTime(today.addDays(-14), QTime(0, 0)), u"yyyymmdd"_s);
    switch (view) {
    case StatsGrid::VolumePerDay:
        return u"select * from DownloadPerday where ddate >= "_s + since + u" order by ddate desc"_s;
    case StatsGrid::VolumePerWeek:
        return u"select top 12 * from DownloadPerWeek order by ddate desc"_s;
    case StatsGrid::VolumePerMonth:
        return u"select top 12 * from DownloadPerMonth order by ddate desc"_s;
    case StatsGrid::VolumePerYear:
        return u"select top 12 * from DownloadPerYear order by ddate desc"_s;
    case StatsGrid::SpeedPerDay:
        return u"select gdate,avgdown from DownloadPerday where ddate >= "_s + since + u" order by ddate desc"_s;
    case StatsGrid::SpeedPerWeek:
        return u"select top 12 ddate,avgdown from DownloadPerWeek order by ddate desc"_s;
    case StatsGrid::SpeedPerMonth:
        return u"select top 12 ddate,AvgDown from DownloadPerMonth order by ddate desc"_s;
    default:
        return u"select top 12 ddate,AvgDown from DownloadPerYear order by ddate desc"_s;
    }
}

QString StatsGrid::unit(int view, bool kbps)
{
    if (view >= SpeedPerDay)
        return kbps ? u"Kbps"_s : u"kBps"_s;
    return view == VolumePerDay ? u"MB"_s : u"GB"_s;
}
