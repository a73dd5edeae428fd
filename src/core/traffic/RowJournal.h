// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/StoreSession.h"

#include <QDateTime>
#include <QString>

class DebugLog;
struct RunCounters;

// The open log row, kept in the database while traffic flows, so that a run that ends
// without writing its last row (killed, crashed, a power cut) loses no more than the last
// few seconds: the next start turns the journal into its Log row. Every Log row the program
// writes clears the journal in the same transaction, so no byte is ever counted twice.
//
// The journal keeps one connection open for the run, with synchronous=FULL: in WAL mode each
// write's commit is flushed to the write-ahead log on the disk (one fdatasync), so a power
// cut takes no more than a kill, whatever other program reads the file. A write is the one
// statement that replaces the journal's one row, which lies on a page of its own: one page
// frame in the write-ahead log, and none while the row stays as written. Checkpoints only keep
// the write-ahead log small: one at least every ten minutes while it writes (each costs two
// flushes, and the write after it a third for the log's new header), retried until it folds
// back everything; a reader that holds a transaction stops them, so the log's size is
// watched, with a warning past WalWarningBytes and a checkpoint tried at every write until
// it is below again.
class RowJournal final
{
public:
    // Written at most this often while traffic flows, and not at all while it does not.
    static constexpr qint64 IntervalMsecs = 5000;
    // 120 writes at most between two checkpoints: a write-ahead log of 494 kB, within the
    // size it is cut back to.
    static constexpr qint64 CheckpointMsecs = 600000;
    // A write-ahead log this large means a checkpoint could not fold it back for long
    // (SQLite's own automatic checkpoint starts at the same size, 1000 pages).
    // A write-ahead log that starts afresh is cut back to a quarter of it (journal_size_limit).
    static constexpr qint64 WalWarningBytes = 4000 * 1024;

    // log: the diagnostic log, where a write-ahead log grown too large is noted (none: only
    // the varnolt.journal logging category).
    explicit RowJournal(QString databasePath, const DebugLog *log = nullptr);
    // For tests and the benchmark: the size from which the write-ahead log counts as too
    // large (the size it is cut back to follows at the next opening of the connection).
    void setWalWarningBytes(qint64 bytes) { m_walWarningBytes = bytes; }

    // Off: poll() writes nothing (for measuring what the journal costs; VARNOLT_JOURNAL=off).
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The poll's turn: writes the open row when it holds traffic the journal does not and the
    // interval has passed, and checkpoints when CheckpointMsecs have passed since the last
    // checkpoint, or after its write while the write-ahead log is too large.
    // monotonicMsecs: the poll's monotonic time. False when a write failed.
    [[nodiscard]] bool poll(const RunCounters &counters, const QDateTime &now, qint64 monotonicMsecs);
    // Writes the open row now; it is on the disk when this returns true.
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

    // The size of the database's write-ahead log file (0 when there is none).
    qint64 walBytes() const;

private:
    bool openSession();
    bool checkpoint();
    void watchWal();

    QString m_walPath;
    const DebugLog *m_log;
    StoreSession m_session;
    // The row as the last write left it in the journal.
    QDateTime m_writtenStart;
    double m_writtenIn = 0;
    double m_writtenOut = 0;
    qint64 m_lastWriteMsecs = 0;
    bool m_opened = false; // the first poll has opened the connection (or tried)
    QDateTime m_writtenUpTo;
    qint64 m_lastCheckpointMsecs = 0;
    bool m_unflushed = false; // written since the last checkpoint that folded back everything
    qint64 m_walWarningBytes = WalWarningBytes;
    bool m_walLarge = false;
    bool m_enabled = true;
    QString m_error;
};
