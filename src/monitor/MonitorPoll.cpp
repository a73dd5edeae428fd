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

#include <QLoggingCategory>

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
    takeReading();

    // Rates are taken over the time that really passed between the two readings: a late
    // poll, a failed reading in between or a suspend would otherwise inflate them.
    const qint64 elapsed = m_curSampleMsecs - m_prevSampleMsecs;
    const double seconds = (elapsed > 0 ? double(elapsed) : double(m_intervalMsecs)) / 1000.0;

    MonitorView &view = m_parts.view;
    view.freezeDrawing(true);
    Texts texts;
    showVolumes(texts);
    int down = 0;
    int up = 0;
    downloadSample(texts, seconds, down);
    uploadSample(texts, seconds, up);
    view.setGraphMax(m_scale.max());
    view.addGraphValues(down, up);
    view.setRateLine(MonitorTexts::cutRateLine(texts.rateLine));
    view.freezeDrawing(false);

    const QDateTime now = m_parts.clock.now();
    takeSampleOrCloseRow(now);
    // A poll that had nothing to write leaves the journal as the last write left it: the
    // problem ends with a write that succeeds, not with a poll that wrote nothing.
    if (!m_parts.journal.poll(m_parts.row.counters(), now, m_parts.clock.monotonicMsecs()))
        m_journalError = m_parts.journal.errorString();
    else if (m_parts.journal.errorString().isEmpty())
        m_journalError.clear();
    view.setGraphToolTip(MonitorTexts::graphToolTip(m_scale.max(), m_parts.settings.kilobit()));
    view.setStoreProblem(storeProblem());
    showVolumeLeft(texts);
}

void MonitorPoll::showVolumes(Texts &texts)
{
    const RunCounters &c = m_parts.row.counters();
    // The sums only grow, so a row's volumes are never negative; the guard keeps the labels
    // as they were should one ever be.
    const double received = c.curIn - c.baseIn;
    if (received >= 0)
        m_parts.view.setDownloadText(MonitorTexts::volume(received));
    const double sent = c.curOut - c.baseOut;
    if (sent >= 0)
        m_parts.view.setUploadText(MonitorTexts::volume(sent));
    const double total = (c.curOut + c.curIn) - c.baseOut - c.baseIn;
    if (total >= 0)
        texts.status = MonitorTexts::volume(total);
    if (m_parts.view.heightTwips() >= MonitorView::FullHeightTwips)
        m_parts.view.setCaption(MonitorTexts::expandedCaption(texts.status));
}

void MonitorPoll::downloadSample(Texts &texts, double seconds, int &graphValue)
{
    const RunCounters &c = m_parts.row.counters();
    const bool kilobit = m_parts.settings.kilobit();
    const double f = kilobit ? MonitorTexts::KbpsFactor : 1.0;
    const QString unit = MonitorTexts::rateUnit(kilobit);
    const auto n = [](double x) { return MonitorTexts::number(x, 1); };

    QString rateText;
    if (m_parts.row.newIn() > 0) {
        const double rate = (m_parts.row.newIn() / 1000.0) / seconds;
        m_parts.row.addDownloadRate(rate);
        m_scale.download(rate, c.avgDown);
        graphValue = Rounding::whole(rate);
        rateText = QLatin1String("D: ") + n(rate * f);
    } else {
        rateText = IdleDownload;
    }
    texts.rateLine = rateText + unit + QLatin1String(" (Avg: ") + n(c.avgDown * f) + QLatin1String(" - Max: ")
        + n(c.maxDown * f) + QLatin1Char(')');
    texts.status += QLatin1String(" - Avg: ") + n(c.avgDown * f) + unit;
}

void MonitorPoll::uploadSample(Texts &texts, double seconds, int &graphValue)
{
    if (m_parts.row.newOut() > 0) {
        const double uprate = (m_parts.row.newOut() / 1000.0) / seconds;
        const double f = m_parts.settings.kilobit() ? MonitorTexts::KbpsFactor : 1.0;
        texts.rateLine
            = QLatin1String("U: ") + MonitorTexts::number(uprate * f, 1) + QLatin1String(" - ") + texts.rateLine;
        m_scale.upload(uprate, m_parts.row.counters().avgDown, m_maxUp);
        graphValue = Rounding::whole(uprate);
    } else {
        texts.rateLine = IdleUpload + texts.rateLine;
    }
}

void MonitorPoll::takeSampleOrCloseRow(const QDateTime &now)
{
    OpenRow &row = m_parts.row;
    // The row ends here when an interface was re-created or reset (its new counts are already
    // in the sums), when the wall clock was set back, when the UTC offset changed (daylight
    // saving, a new time zone), at the first poll of a new day, at whatever hour it comes
    // (after a suspend over midnight too), and before it outgrows the row limit. The writer
    // splits a row at the day boundary, ends one whose clock went back at its last good time
    // and one whose offset changed at its real end in its own offset.
    const bool timeEndsRow = row.polled(now);
    const bool due = m_parts.sampler.counterFell() || timeEndsRow || row.counters().rowBytesOut() > RowLimitBytes
        || row.counters().rowBytesIn() > RowLimitBytes;
    m_prevSampleMsecs = m_curSampleMsecs;
    // While the database refuses, the row stays open and is tried again every so often
    // rather than on every poll.
    if ((due || m_closePending) && (!m_closePending || m_parts.clock.monotonicMsecs() - m_lastCloseMsecs >= RetryMsecs))
        closeRow();
}

void MonitorPoll::closeRow()
{
    m_parts.view.setPollTimerEnabled(false);
    m_lastCloseMsecs = m_parts.clock.monotonicMsecs();
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
    if (m_parts.sampler.run(m_parts.clock.monotonicMsecs()) != SampleAdapters::Outcome::Summed)
        return;
    m_parts.row.add(m_parts.sampler.added().in, m_parts.sampler.added().out);
    m_curSampleMsecs = m_parts.clock.monotonicMsecs();
}

void MonitorPoll::showVolumeLeft(const Texts &texts)
{
    MonitorView &view = m_parts.view;
    Settings &s = m_parts.settings;
    if (!s.whatsLeft()) {
        view.setTrayTip(texts.status);
        if (view.heightTwips() < MonitorView::FullHeightTwips)
            view.setCaption(texts.status);
        return;
    }
    const QString left = m_parts.volumeLeft.text(
        s.maxMB, s.periodLength, QString::number(s.periodType), s.cachedVolume, true, s.startDay);
    view.setVolumeLeft(left, m_parts.volumeLeft.alert());
    view.setTrayTip(texts.status + QLatin1String(" - ") + left);
    if (view.heightTwips() < MonitorView::FullHeightTwips)
        view.setCaption(MonitorTexts::collapsedCaption(texts.status, left));
}
