// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

// The traffic of the run: the bytes the selected adapters carried since the run began, as
// counted at the start of the current log row (Base), at the latest poll (Cur) and at the
// poll before (Prev), with the rates derived from them. OpenRow is the one that changes the
// run's own; the traffic log writer turns it into rows, the journal, the statistics and the
// volume left read it.
struct RunCounters
{
    // The start of the current row, with the UTC offset of that moment fixed to it
    // (withOwnOffset): the row's times are written in its own offset, so that a change of
    // daylight saving or of time zone can neither turn them backwards nor stretch them.
    // Invalid until the first sample of the run.
    QDateTime rowStart;
    // The wall-clock time of the latest poll, kept in the same way. A clock set back to before
    // it ends the row there, so that no row ends before it starts.
    QDateTime latestTime;
    double baseIn = 0;
    double baseOut = 0;
    double curIn = 0;
    double curOut = 0;
    double prevIn = 0;
    double prevOut = 0;
    // The run has its first reading; from then on each row starts with the readings the
    // previous one ended with. Kept apart from the readings, which may well be 0.
    bool sampled = false;
    double avgDown = 0; // kB/s, over the current row
    double downSamples = 0; // the samples of the current row that the average is taken over
    double maxDown = 0; // kB/s

    double rowBytesIn() const { return curIn - baseIn; }
    double rowBytesOut() const { return curOut - baseOut; }

    // The current row as it would be closed at `now`, and where the next row starts.
    struct RowClose
    {
        QDateTime start; // the row's start (now, before the run's first sample)
        QDateTime end; // in the row's own offset
        QDateTime nextStart; // in the offset in force now
        bool newDay = false; // the row's day ended before now: the next row starts at today's first second
    };
    RowClose closeAt(const QDateTime &now) const;

    // Whether time alone ends the row at `now`: the UTC offset changed since it began (a
    // change of daylight saving or of time zone), its day ended, or the wall clock was set
    // back to before the latest poll.
    bool timeEndsRow(const QDateTime &now) const;
};

inline RunCounters::RowClose RunCounters::closeAt(const QDateTime &now) const
{
    const QDateTime local = withOwnOffset(now);
    RowClose close;
    close.start = rowStart.isValid() ? rowStart : local;
    const int offset = close.start.offsetFromUtc();
    const QDate day = close.start.date();
    const QDateTime dayEnd(day, QTime(23, 59, 59), Qt::OffsetFromUTC, offset);
    // A new day when both the row's own offset and the offset in force now have passed its
    // day: a change of zone that moves the local date (UTC to Tokyo in the evening) or a
    // change back just before midnight (Santiago's autumn) ends the row as a change of
    // offset, in its own day, not as a midnight.
    close.newDay = local.date() > day && local.toOffsetFromUtc(offset).date() > day;
    if (close.newDay) {
        // Closed at the end of its own day, whatever the hour now (a machine may wake from a
        // suspend of several days), so that the per-day totals count each day's traffic on
        // its day. The next row starts at today's first second (01:00 where the day begins
        // with a change to summer time), or where the old day really ended if that came later
        // (a change of zone just after midnight).
        close.end = std::max(close.start, dayEnd);
        const QDateTime nextDay(day.addDays(1), QTime(0, 0), Qt::OffsetFromUTC, offset);
        // A local time's day begins where the zone in force says (the system clock's times are
        // local times with their offset fixed); a time with a zone of its own (as a test's
        // clock gives) begins its day in that zone.
        const QDateTime today
            = now.timeSpec() == Qt::TimeZone ? local.date().startOfDay(now.timeZone()) : local.date().startOfDay();
        close.nextStart = std::max(today, nextDay).toOffsetFromUtc(local.offsetFromUtc());
        return close;
    }
    // The real end, in the row's own offset, so that the row lasts as long as its traffic:
    // after the clocks go back from 03:00 to 02:00 it ends at 03:00 and the next row starts
    // at 02:00. A wall clock set back ends the row at its last good time. A change back just
    // before midnight keeps the row in its own day.
    const QDateTime latest = latestTime.isValid() ? std::max(close.start, latestTime) : close.start;
    close.end = std::max(close.start, std::min(std::max(local, latest), dayEnd)).toOffsetFromUtc(offset);
    close.nextStart = local;
    return close;
}

inline bool RunCounters::timeEndsRow(const QDateTime &now) const
{
    if (!rowStart.isValid())
        return false;
    return now.offsetFromUtc() != rowStart.offsetFromUtc() || closeAt(now).newDay
        || (latestTime.isValid() && now < latestTime);
}
