// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/GraphScale.h"
#include "monitor/MonitorView.h"

#include <QDateTime>
#include <QString>

class Clock;
class OpenRow;
class RouterSource;
class RowJournal;
class SampleAdapters;
class Settings;
class TrafficLogWriter;
class VolumeLeftText;

// One tick of the monitor: samples the adapters, derives the row's volumes, the rates with
// their average, maximum and graph scale, fills the view, closes the log row when the
// counters fall back, at the first poll of a new day or when the row grows too large, and
// shows the volume left.
//
// While a router is followed, the row counts the household's bytes instead: what the router's
// answers carried since the last poll. The adapters are still sampled, so that their readings
// stay current, but add nothing (no byte counted twice, none of their history counted when
// the interfaces are metered again).
class MonitorPoll final
{
public:
    // A row is closed before it outgrows this many bytes in either direction.
    static constexpr double RowLimitBytes = 2'000'000'000.0;
    // A row the database refused stays open (and journaled) and is tried again this often.
    static constexpr qint64 RetryMsecs = 30000;

    struct Parts
    {
        SampleAdapters &sampler;
        OpenRow &row;
        Settings &settings;
        TrafficLogWriter &writer;
        RowJournal &journal;
        VolumeLeftText &volumeLeft;
        const Clock &clock;
        MonitorView &view;
        // The household's router; metered instead of the adapters while it is followed.
        RouterSource *router = nullptr;
    };

    MonitorPoll(Parts parts, int intervalMsecs);

    void run();
    // Closes the current log row now, with the timer off while it is written; the next row
    // starts from the readings this one ended with. Also "Reset Counters".
    void closeRow();
    // Reads the counters once more, so that a row closed now holds every byte up to this
    // moment (at shutdown, between two polls).
    void takeReading();

    // The labels' texts (the volumes, the rate line) and the caption of the last poll, which
    // it gives only while the view shows them; the view asks for them when it shows.
    void showFigures();

    GraphScale &scale() { return m_scale; }
    // Why the open row could not be written to the log or its journal, until a write
    // succeeds, and whether the journal holds it meanwhile; empty while all is well.
    StoreProblem storeProblem() const
    {
        return {m_writeError.isEmpty() ? m_journalError : m_writeError, m_journalError.isEmpty()};
    }

private:
    // The rates (kB/s) this poll shows, and whether they are a new sample for the average, the
    // maximum and the scale.
    struct Rates
    {
        double down = 0;
        double up = 0;
        bool sample = true;
    };
    // The rates of the router's last answer: its bytes over the time they were carried in.
    struct Answer
    {
        double down = 0;
        double up = 0;
        qint64 atMsecs = 0; // monotonic time of the poll that took it
        qint64 holdMsecs = 0; // shown for this long, should no answer follow
        bool fresh = false; // taken since the last poll
        bool rebooted = false; // the router counted again from 0 since the last poll
    };
    // One reading of each clock a poll: the monotonic time (atMsecs) and the wall clock's.
    void takeReading(qint64 atMsecs);
    void closeRow(qint64 atMsecs);
    RouterSource *followedRouter() const;
    void takeFromRouter(RouterSource &router, qint64 atMsecs);
    Rates routerRates(qint64 atMsecs);
    void showStatus();
    void showLabels();
    void showCaption();
    // The rate's sample for the average, the maximum and the scale; its graph value.
    int downloadSample(const Rates &rates);
    int uploadSample(const Rates &rates);
    void takeSampleOrCloseRow(const QDateTime &now, qint64 atMsecs);
    void showGraphToolTip();
    void showVolumeLeft(qint64 atMsecs);
    void showSource(const QDateTime &now);

    Parts m_parts;
    int m_intervalMsecs;
    GraphScale m_scale;
    double m_maxUp = 0; // kB/s: the highest upload rate that was allowed to widen the scale
    qint64 m_curSampleMsecs = 0; // monotonic time of the reading in CurIn/CurOut
    qint64 m_prevSampleMsecs = 0; // monotonic time of the reading in PrevIn/PrevOut
    QString m_writeError;
    QString m_journalError; // the journal's last write failed: a kill would lose the open row
    bool m_closePending = false; // a row close the database refused, to be tried again
    qint64 m_lastCloseMsecs = 0; // monotonic time of the last attempt
    Answer m_answer;
    Rates m_shownRates; // this poll's, for the rate line
    // This poll's texts for the tip and the captions: the row's volume, the status (the volume
    // and the average) and the volume left (empty without an allowance).
    QString m_total;
    QString m_status;
    QString m_left;
    // What the graphs' tooltip was made for: made again only when the scale or the unit changes.
    int m_toolTipMax = -1;
    bool m_toolTipKilobit = false;
};
