// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/GraphScale.h"
#include "monitor/MonitorView.h"

#include <QDateTime>
#include <QString>

class Clock;
class OpenRow;
class RowJournal;
class SampleAdapters;
class Settings;
class TrafficLogWriter;
class VolumeLeftText;

// One tick of the monitor: samples the adapters, derives the row's volumes, the rates with
// their average, maximum and graph scale, fills the view, closes the log row when the
// counters fall back, at the first poll of a new day or when the row grows too large, and
// shows the volume left.
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
    };

    MonitorPoll(Parts parts, int intervalMsecs);

    void run();
    // Closes the current log row now, with the timer off while it is written; the next row
    // starts from the readings this one ended with. Also "Reset Counters".
    void closeRow();
    // Reads the counters once more, so that a row closed now holds every byte up to this
    // moment (at shutdown, between two polls).
    void takeReading();

    GraphScale &scale() { return m_scale; }
    // Why the open row could not be written to the log or its journal, until a write
    // succeeds, and whether the journal holds it meanwhile; empty while all is well.
    StoreProblem storeProblem() const
    {
        return {m_writeError.isEmpty() ? m_journalError : m_writeError, m_journalError.isEmpty()};
    }

private:
    struct Texts
    {
        QString status;
        QString rateLine;
    };
    void showVolumes(Texts &texts);
    void downloadSample(Texts &texts, double seconds, int &graphValue);
    void uploadSample(Texts &texts, double seconds, int &graphValue);
    void takeSampleOrCloseRow(const QDateTime &now);
    void showVolumeLeft(const Texts &texts);

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
};
