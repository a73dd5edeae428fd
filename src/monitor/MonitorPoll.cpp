// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorPoll.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/RowJournal.h"
#include "core/traffic/SampleAdapters.h"
#include "core/traffic/TrafficLogWriter.h"
#include "core/traffic/VolumeLeftText.h"
#include "monitor/MonitorTexts.h"
#include "monitor/MonitorView.h"
#include "monitor/Rounding.h"
#include "router/RouterSource.h"

#include <QLoggingCategory>

#include <utility>

namespace {
Q_LOGGING_CATEGORY(lcMonitor, "varnolt.monitor")

// The "0,0" of an idle rate is the same text in every locale.
const QLatin1String IdleDownload("D: 0,0");
const QLatin1String IdleUpload("U: 0,0 - ");
} // namespace

MonitorPoll::MonitorPoll(Parts parts, int intervalMsecs)
    : m_parts(parts)
    , m_intervalMsecs(intervalMsecs)
{
}

void MonitorPoll::run()
{
    // The clocks are read once: every time of this poll is the same moment.
    const qint64 at = m_parts.clock.monotonicMsecs();
    takeReading(at);

    Rates rates;
    if (followedRouter()) {
        rates = routerRates(at);
    } else {
        // Rates are taken over the time that really passed between the two readings: a late
        // poll, a failed reading in between or a suspend would otherwise inflate them.
        const qint64 elapsed = m_curSampleMsecs - m_prevSampleMsecs;
        const double seconds = (elapsed > 0 ? double(elapsed) : double(m_intervalMsecs)) / 1000.0;
        rates.down = (m_parts.row.newIn() / 1000.0) / seconds;
        rates.up = (m_parts.row.newOut() / 1000.0) / seconds;
    }

    MonitorView &view = m_parts.view;
    const int down = downloadSample(rates);
    const int up = uploadSample(rates);
    m_shownRates = rates;
    showStatus();
    // The full window's caption comes first, as the volumes do: the X server's notices of the
    // new title then come back while the poll still draws, rather than waking the program again.
    if (view.figuresShown() && view.heightTwips() >= MonitorView::FullHeightTwips)
        showCaption();
    view.setGraphMax(m_scale.max());
    view.addGraphValues(down, up);
    // The labels' numbers are the most of what a poll costs: written only while seen.
    if (view.figuresShown())
        showLabels();

    const QDateTime now = m_parts.clock.now();
    takeSampleOrCloseRow(now, at);
    // A poll that had nothing to write leaves the journal as the last write left it: the
    // problem ends with a write that succeeds, not with a poll that wrote nothing.
    if (!m_parts.journal.poll(m_parts.row.counters(), now, at))
        m_journalError = m_parts.journal.errorString();
    else if (m_parts.journal.errorString().isEmpty())
        m_journalError.clear();
    showGraphToolTip();
    view.setStoreProblem(storeProblem());
    showVolumeLeft(at);
    showSource(now);
}

void MonitorPoll::showGraphToolTip()
{
    const bool kilobit = m_parts.settings.kilobit();
    if (m_scale.max() == m_toolTipMax && kilobit == m_toolTipKilobit)
        return;
    m_toolTipMax = m_scale.max();
    m_toolTipKilobit = kilobit;
    m_parts.view.setGraphToolTip(MonitorTexts::graphToolTip(m_toolTipMax, kilobit));
}

RouterSource *MonitorPoll::followedRouter() const
{
    return m_parts.router && m_parts.router->following() ? m_parts.router : nullptr;
}

void MonitorPoll::takeFromRouter(RouterSource &router, qint64 atMsecs)
{
    const RouterSource::Taken taken = router.take();
    m_answer.rebooted |= taken.rebooted;
    if (!taken.fresh)
        return;
    m_parts.row.add(taken.in, taken.out);
    // An answer's bytes were carried over the time since the answer before (about 5 s): the
    // rate is theirs over that span, shown until the next answer, rather than ten times the
    // rate in one poll and nothing in the nine after it. Should no answer follow, it is shown
    // for one span more, then the rates are idle.
    const qint64 span = taken.spanMsecs > 0 ? taken.spanMsecs : RouterSource::ReadIntervalMsecs;
    const double seconds = double(span) / 1000.0;
    m_answer.down = (double(taken.in) / 1000.0) / seconds;
    m_answer.up = (double(taken.out) / 1000.0) / seconds;
    m_answer.atMsecs = atMsecs;
    m_answer.holdMsecs = 2 * span;
    m_answer.fresh = true;
}

MonitorPoll::Rates MonitorPoll::routerRates(qint64 atMsecs)
{
    // One sample an answer: the average and the maximum are over the answers, not over the
    // polls that showed the same rate again.
    const bool held = atMsecs - m_answer.atMsecs <= m_answer.holdMsecs;
    const Rates rates {held ? m_answer.down : 0, held ? m_answer.up : 0, m_answer.fresh};
    m_answer.fresh = false;
    return rates;
}

void MonitorPoll::showStatus()
{
    const RunCounters &c = m_parts.row.counters();
    const bool kilobit = m_parts.settings.kilobit();
    const double total = (c.curOut + c.curIn) - c.baseOut - c.baseIn;
    m_total = total >= 0 ? MonitorTexts::volume(total) : QString();
    m_status = m_total + QLatin1String(" - Avg: ")
        + MonitorTexts::number(c.avgDown * (kilobit ? MonitorTexts::KbpsFactor : 1.0), 1)
        + MonitorTexts::rateUnit(kilobit);
}

void MonitorPoll::showFigures()
{
    showLabels();
    showCaption();
}

void MonitorPoll::showCaption()
{
    if (m_parts.view.heightTwips() >= MonitorView::FullHeightTwips)
        m_parts.view.setCaption(MonitorTexts::expandedCaption(m_total));
    else
        m_parts.view.setCaption(MonitorTexts::collapsedCaption(m_status, m_left));
}

void MonitorPoll::showLabels()
{
    const RunCounters &c = m_parts.row.counters();
    MonitorView &view = m_parts.view;
    // The sums only grow, so a row's volumes are never negative; the guard keeps the labels
    // as they were should one ever be.
    const double received = c.curIn - c.baseIn;
    if (received >= 0)
        view.setDownloadText(MonitorTexts::volume(received));
    const double sent = c.curOut - c.baseOut;
    if (sent >= 0)
        view.setUploadText(MonitorTexts::volume(sent));

    const bool kilobit = m_parts.settings.kilobit();
    const double f = kilobit ? MonitorTexts::KbpsFactor : 1.0;
    const auto n = [](double x) { return MonitorTexts::number(x, 1); };
    const QString download
        = m_shownRates.down > 0 ? QLatin1String("D: ") + n(m_shownRates.down * f) : QString(IdleDownload);
    const QString upload = m_shownRates.up > 0 ? QLatin1String("U: ") + n(m_shownRates.up * f) + QLatin1String(" - ")
                                               : QString(IdleUpload);
    view.setRateLine(
        MonitorTexts::cutRateLine(upload + download + MonitorTexts::rateUnit(kilobit) + QLatin1String(" (Avg: ")
            + n(c.avgDown * f) + QLatin1String(" - Max: ") + n(c.maxDown * f) + QLatin1Char(')')));
}

int MonitorPoll::downloadSample(const Rates &rates)
{
    if (rates.down <= 0)
        return 0;
    if (rates.sample) {
        m_parts.row.addDownloadRate(rates.down);
        m_scale.download(rates.down, m_parts.row.counters().avgDown);
    }
    return Rounding::whole(rates.down);
}

int MonitorPoll::uploadSample(const Rates &rates)
{
    if (rates.up <= 0)
        return 0;
    if (rates.sample)
        m_scale.upload(rates.up, m_parts.row.counters().avgDown, m_maxUp);
    return Rounding::whole(rates.up);
}

void MonitorPoll::takeSampleOrCloseRow(const QDateTime &now, qint64 atMsecs)
{
    OpenRow &row = m_parts.row;
    // The row ends here when an interface was re-created or reset, or the followed router
    // counted again from 0 (their new counts are already in the sums), when the wall clock
    // was set back, when the UTC offset changed (daylight saving, a new time zone), at the
    // first poll of a new day, at whatever hour it comes (after a suspend over midnight too),
    // and before it outgrows the row limit. The writer
    // splits a row at the day boundary, ends one whose clock went back at its last good time
    // and one whose offset changed at its real end in its own offset.
    const bool timeEndsRow = row.polled(now);
    const bool fell = followedRouter() ? std::exchange(m_answer.rebooted, false) : m_parts.sampler.counterFell();
    const bool due = fell || timeEndsRow || row.counters().rowBytesOut() > RowLimitBytes
        || row.counters().rowBytesIn() > RowLimitBytes;
    m_prevSampleMsecs = m_curSampleMsecs;
    // While the database refuses, the row stays open and is tried again every so often
    // rather than on every poll.
    if ((due || m_closePending) && (!m_closePending || atMsecs - m_lastCloseMsecs >= RetryMsecs))
        closeRow(atMsecs);
}

void MonitorPoll::closeRow()
{
    closeRow(m_parts.clock.monotonicMsecs());
}

void MonitorPoll::closeRow(qint64 atMsecs)
{
    m_parts.view.setPollTimerEnabled(false);
    m_lastCloseMsecs = atMsecs;
    m_closePending = !m_parts.writer.write();
    if (!m_closePending) {
        // The logged volume of the period now holds the row: the next volume-left text asks
        // the database rather than counting the row's traffic as gone.
        m_parts.settings.cachedVolume = 0;
        m_writeError.clear();
        // The log holds the row the journal could not take; the next row's journal writes
        // tell afresh.
        m_journalError.clear();
    } else {
        m_writeError = m_parts.writer.errorString();
        qCWarning(lcMonitor) << "log row not written, kept open:" << m_writeError;
    }
    m_parts.view.setStoreProblem(storeProblem());
    m_parts.view.setPollTimerEnabled(true);
}

void MonitorPoll::takeReading()
{
    takeReading(m_parts.clock.monotonicMsecs());
}

void MonitorPoll::takeReading(qint64 atMsecs)
{
    const bool summed = m_parts.sampler.run(atMsecs) == SampleAdapters::Outcome::Summed;
    if (summed)
        m_curSampleMsecs = atMsecs;
    if (RouterSource *router = followedRouter()) {
        takeFromRouter(*router, atMsecs);
        return;
    }
    m_answer = {};
    if (summed)
        m_parts.row.add(m_parts.sampler.added().in, m_parts.sampler.added().out);
}

void MonitorPoll::showVolumeLeft(qint64 atMsecs)
{
    MonitorView &view = m_parts.view;
    Settings &s = m_parts.settings;
    if (!s.whatsLeft()) {
        m_left.clear();
        view.setTrayTip(m_status, atMsecs);
    } else {
        m_left = m_parts.volumeLeft.text(
            s.maxMB, s.periodLength, QString::number(s.periodType), s.cachedVolume, true, s.startDay);
        view.setVolumeLeft(m_left, m_parts.volumeLeft.alert());
        view.setTrayTip(m_status + QLatin1String(" - ") + m_left, atMsecs);
    }
    // The mini window's caption holds the volume left. Like the labels, it is made only while
    // someone sees it.
    if (view.figuresShown() && view.heightTwips() < MonitorView::FullHeightTwips)
        showCaption();
}

void MonitorPoll::showSource(const QDateTime &now)
{
    SourceLine line;
    if (const RouterSource *router = followedRouter()) {
        const QString name = router->name();
        const QDateTime silentSince = router->silentSince();
        line.silent = silentSince.isValid();
        line.text = MonitorTexts::routerLine(name.isEmpty() ? m_parts.settings.routerUrl : name, silentSince, now);
        if (line.silent)
            line.why = router->problem();
    }
    m_parts.view.setSourceLine(line);
}
