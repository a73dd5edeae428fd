#pragma once

#include "core/store/StoreSession.h"

#include <QDateTime>
#include <QString>

struct RunCounters;

// The open log row, kept in the database while traffic flows, so that a run that ends
// without writing its last row (killed, crashed, a power cut) loses no more than the last
// few seconds: the next start turns the journal into its Log row. Every Log row the program
// writes clears the journal in the same transaction, so no byte is ever counted twice.
//
// The journal keeps one connection open for the run. With the database in WAL mode and
// synchronous=NORMAL a journal write then costs no disk flush; a checkpoint at least once a
// minute while it writes flushes what was written, which bounds what a power cut can take.
class RowJournal final
{
public:
    // Written at most this often while traffic flows, and not at all while it does not.
    static constexpr qint64 IntervalMsecs = 5000;
    static constexpr qint64 CheckpointMsecs = 60000;

    explicit RowJournal(QString databasePath);

    // Off: poll() writes nothing (for measuring what the journal costs; VARNOLT_JOURNAL=off).
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The poll's turn: writes the open row when traffic flowed since the last write and the
    // interval has passed, and checkpoints when a minute has passed since the last
    // checkpoint. monotonicMsecs: the poll's monotonic time. False when a write failed.
    [[nodiscard]] bool poll(const RunCounters &counters, const QDateTime &now, qint64 monotonicMsecs);
    // Writes the open row now.
    [[nodiscard]] bool write(const RunCounters &counters, const QDateTime &now);
    // Flushes the database's write-ahead log into the file; ends the journal's connection.
    void close();

    QString errorString() const { return m_error; }
    // The time up to which the journal holds the open row (invalid before the first write).
    QDateTime writtenUpTo() const { return m_writtenUpTo; }

    // The statement, in SQLite's dialect, that clears the journal; every Log row's
    // transaction runs it.
    static QString clearStatement();
    // At start-up: a journal left by a run that did not end cleanly becomes its Log row,
    // ending at the journal's time, in the one transaction that clears it. recovered: the
    // row, for the diagnostic log ("" when there was none).
    [[nodiscard]] static bool recover(StoreSession &session, QString &recovered, QString &error);

private:
    bool checkpoint();

    StoreSession m_session;
    double m_writtenTotal = -1; // the run's bytes (in + out) at the last write
    qint64 m_lastWriteMsecs = 0;
    QDateTime m_writtenUpTo;
    qint64 m_lastCheckpointMsecs = 0;
    bool m_unflushed = false; // written since the last checkpoint
    bool m_enabled = true;
    QString m_error;
};
