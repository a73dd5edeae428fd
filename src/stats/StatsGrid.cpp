// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/StatsGrid.h"

#include "core/Clock.h"
#include "core/store/FormatDateText.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/UnloggedTraffic.h"

#include <algorithm>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Kilobits per second in a kilobyte per second, as the monitor shows its rates.
constexpr double KbpsFactor = 8.192;
constexpr qsizetype PeriodsShown = 12;
constexpr int DaysShown = 15; // today and the 14 days before

// The periods in the order of the views, as the export numbers them too.
using PeriodKind = UnloggedTraffic::Period;
using enum UnloggedTraffic::Period;

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

// ddate is a number yyyymmdd, so the day views compare it with one, unquoted.
QString dayNumber(const QDate &day)
{
    return FormatDateText(QDateTime(day, QTime(0, 0)), u"yyyymmdd"_s);
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

QStringList StatsGrid::reportHeaders(int seriesCount)
{
    if (seriesCount < 3)
        return {u"Period"_s, u"Avg Down"_s, QString(), QString()};
    return {u"Period"_s, u"Up"_s, u"Down"_s, u"Total"_s};
}

int StatsGrid::pageLength(int view)
{
    return kindOf(view) == Day ? DaysShown : int(PeriodsShown);
}

StatsGrid::Outcome StatsGrid::fill(
    const QString &databasePath, int view, bool stacked, bool kbps, const RunCounters &run)
{
    return fill(databasePath, view, stacked, kbps, run, Span());
}

StatsGrid::Outcome StatsGrid::fill(
    const QString &databasePath, int view, bool stacked, bool kbps, const RunCounters &run, const Span &span)
{
    m_error.clear();
    m_hasOlder = false;
    QList<Period> periods;
    // A page of days reads its 15 days, and whether any day lies before them; the rest read the whole view,
    // which costs little more, as the view is computed whole before its rows are picked.
    const bool paged = !span.since.isValid() && span.count <= 0;
    const QDate today = m_clock.now().date();
    const int page = std::max(span.page, 0);
    const QDate pageStart = today.addDays(-qint64(page + 1) * DaysShown + 1);
    // The weeks, months and years before the newest page do not change while the window is open (a reset
    // refills it from its newest page): a page further back takes them from the last reading of the view.
    const bool cached = paged && page > 0 && kindOf(view) != Day && m_read.view == view
        && m_read.databasePath == databasePath && m_read.day == today;
    if (cached)
        periods = m_read.periods;
    const bool read = cached
        || readPeriods(databasePath, view, paged ? pageStart : QDate(),
            paged && page > 0 ? pageStart.addDays(DaysShown - 1) : QDate(), periods);
    if (read && !cached && kindOf(view) != Day)
        m_read = {databasePath, view, today, periods};
    else if (!read)
        m_read = {};
    if (read && !isSpeedView(view) && (run.rowBytesIn() > 0 || run.rowBytesOut() > 0)) {
        // The run's traffic not yet logged belongs to the period it is metered in, which the
        // log may not hold yet: the first fill after midnight, or in a new week, month or year.
        const qint64 current = keyOf(view, today);
        auto at = std::lower_bound(
            periods.begin(), periods.end(), current, [](const Period &period, qint64 key) { return period.key < key; });
        if (at == periods.end() || at->key != current)
            at = periods.insert(at, Period {current});
        at->kbUp += run.rowBytesOut() / 1024;
        at->kbDown += run.rowBytesIn() / 1024;
    }
    QList<Period> shown;
    if (read && !periods.isEmpty() && kindOf(view) == Day) {
        const auto [first, last] = dayRange(periods, span);
        // Days without traffic show as rows of zeros, so that the day views run without gaps.
        auto at = std::lower_bound(
            periods.cbegin(), periods.cend(), first, [](const Period &period, qint64 key) { return period.key < key; });
        for (qint64 day = first; day <= last; ++day) {
            if (at != periods.cend() && at->key == day)
                shown.append(*at++);
            else
                shown.append(Period {day});
        }
        m_hasOlder = m_hasOlder || (!shown.isEmpty() && periods.first().key < first);
    } else if (read && kindOf(view) != Day) {
        const auto [first, end] = periodRange(view, periods, span);
        shown = periods.mid(first, end - first);
        m_hasOlder = first > 0;
    }
    setGrid(view, stacked, kbps, shown);
    if (!read)
        return Outcome::Failed;
    return shown.isEmpty() ? Outcome::Empty : Outcome::Filled;
}

std::pair<qint64, qint64> StatsGrid::dayRange(const QList<Period> &periods, const Span &span) const
{
    const qint64 oldest = periods.first().key;
    const qint64 newest = periods.last().key;
    constexpr std::pair<qint64, qint64> none {1, 0};
    if (span.since.isValid()) {
        // Before the log's first day there is nothing to show, not years of zeros.
        const qint64 first = std::max(span.since.toJulianDay(), oldest);
        return {first, span.count > 0 ? std::min(newest, first + span.count - 1) : newest};
    }
    if (span.count > 0)
        return {std::max(oldest, newest - span.count + 1), newest};
    // A page is 15 calendar days: page 0 ends with today, page 1 two weeks and a day before.
    const qint64 today = m_clock.now().date().toJulianDay();
    const qint64 start = today - qint64(span.page + 1) * DaysShown + 1;
    const qint64 end = span.page <= 0 ? std::numeric_limits<qint64>::max() : start + DaysShown - 1;
    const auto from = std::lower_bound(
        periods.cbegin(), periods.cend(), start, [](const Period &period, qint64 key) { return period.key < key; });
    const auto to = std::upper_bound(
        from, periods.cend(), end, [](qint64 key, const Period &period) { return key < period.key; });
    if (span.page <= 0) {
        // The days from the oldest to the newest logged in the 15, as the view always showed them.
        if (from == to)
            return none;
        return {from->key, std::prev(to)->key};
    }
    // Further back a page is whole: its 15 days, unless the log begins within them.
    if (m_hasOlder || oldest < start)
        return {start, end};
    if (from == to)
        return none;
    return {from->key, end};
}

std::pair<qsizetype, qsizetype> StatsGrid::periodRange(int view, const QList<Period> &periods, const Span &span) const
{
    const qsizetype size = periods.size();
    if (span.since.isValid()) {
        const qint64 key = keyOf(view, span.since);
        const qsizetype first = std::lower_bound(periods.cbegin(), periods.cend(), key,
                                    [](const Period &period, qint64 k) { return period.key < k; })
            - periods.cbegin();
        return {first, span.count > 0 ? std::min(size, first + span.count) : size};
    }
    if (span.count > 0)
        return {std::max<qsizetype>(0, size - span.count), size};
    // The newest 12 periods, the current one among them; then the 12 before them.
    const qsizetype end = std::max<qsizetype>(0, size - qsizetype(std::max(span.page, 0)) * PeriodsShown);
    return {std::max<qsizetype>(0, end - PeriodsShown), end};
}

bool StatsGrid::readPeriods(
    const QString &databasePath, int view, const QDate &from, const QDate &to, QList<Period> &periods)
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
    const bool someDays = kindOf(view) == Day && from.isValid();
    const std::optional<QueryResult> result = session.query(someDays ? dayQuery(view, from, to) : queryAll(view));
    if (!result) {
        // The views may be rewritten by hand: the message says which one failed, on its first line.
        m_error = u"The view %1 could not be read: %2"_s.arg(viewName(view), session.errorString());
        return false;
    }
    if (someDays) {
        // Only a page of days was read: a page back has rows if any day lies before it. The view works out
        // every row that passes its condition, so the page before is asked first; on a log of years it
        // nearly always answers, at the cost of 15 rows instead of thousands.
        const QString before = u"select top 1 ddate from DownloadPerday where ddate < "_s;
        const QStringList statements {
            before + dayNumber(from) + u" and ddate >= "_s + dayNumber(from.addDays(-DaysShown)),
            before + dayNumber(from.addDays(-DaysShown))};
        for (const QString &statement : statements) {
            const std::optional<QueryResult> older = session.query(statement);
            if (!older) {
                m_error = u"The view %1 could not be read: %2"_s.arg(viewName(view), session.errorString());
                return false;
            }
            m_hasOlder = !older->isEmpty();
            if (m_hasOlder)
                break;
        }
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

qint64 StatsGrid::keyOf(int view, const QDate &day)
{
    // The day views are keyed by the Julian day, so that a run of days counts on; the others by
    // the view's ddate.
    if (kindOf(view) == Day)
        return day.toJulianDay();
    return UnloggedTraffic::periodKey(kindOf(view), day);
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
    for (const Period &period : periods)
        addRow(period);
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

QString StatsGrid::queryAll(int view)
{
    // The same columns as query(), without a bound.
    const QString columns
        = isSpeedView(view) ? (kindOf(view) == Day ? u"gdate,avgdown"_s : u"ddate,avgdown"_s) : u"*"_s;
    return u"select "_s + columns + u" from "_s + viewName(view) + u" order by ddate desc"_s;
}

QString StatsGrid::query(int view, const QDate &today)
{
    if (kindOf(view) != Day)
        return queryAll(view); // a page back needs to know what lies before the newest 12
    return dayQuery(view, today.addDays(1 - DaysShown), QDate());
}

QString StatsGrid::dayQuery(int view, const QDate &from, const QDate &to)
{
    const QString columns = isSpeedView(view) ? u"gdate,avgdown"_s : u"*"_s;
    QString statement = u"select "_s + columns + u" from DownloadPerday where ddate >= "_s + dayNumber(from);
    if (to.isValid())
        statement += u" and ddate <= "_s + dayNumber(to);
    return statement + u" order by ddate desc"_s;
}

QString StatsGrid::unit(int view, bool kbps)
{
    if (view >= SpeedPerDay)
        return kbps ? u"Kbps"_s : u"kBps"_s;
    return view == VolumePerDay ? u"MB"_s : u"GB"_s;
}
