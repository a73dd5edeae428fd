// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/RowJournal.h"

#include "core/DebugLog.h"
#include "core/store/NumberText.h"
#include "core/store/StoredDate.h"
#include "core/traffic/RunCounters.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>

namespace {
Q_LOGGING_CATEGORY(lcJournal, "varnolt.journal")
}

RowJournal::RowJournal(QString databasePath, const DebugLog *log)
    : m_walPath(databasePath + QStringLiteral("-wal"))
    , m_log(log)
    , m_session(std::move(databasePath))
{
}

bool RowJournal::openSession()
{
    // Every commit of this connection is flushed: in WAL mode one fdatasync of the
    // write-ahead log, with no checkpoint needed for it to survive a power cut. A log that
    // starts afresh after a reader held it is cut back to a quarter of the warning size. The
    // read makes the write-ahead log and its index (-shm) exist for as long as the connection
    // is open.
    if (m_session.open()
        && m_session.executeNative(QStringLiteral("PRAGMA synchronous=FULL; PRAGMA journal_size_limit=%1")
                                       .arg(m_walWarningBytes / 4))
        && m_session.queryNative(QStringLiteral("SELECT count(*) FROM RowJournal")))
        return true;
    m_session.close();
    return false;
}

QString RowJournal::clearStatement()
{
    return QStringLiteral("DELETE FROM RowJournal");
}

bool RowJournal::poll(const RunCounters &counters, const QDateTime &now, qint64 monotonicMsecs)
{
    if (!m_enabled)
        return true;
    // The connection is opened at the first poll, before any traffic and while the disk
    // takes files: it keeps the write-ahead log and its index in place for the run, so that a
    // disk that fills later refuses the writes as full, not every other connection's opening.
    if (!m_opened) {
        m_opened = true;
        if (!m_session.isOpen() && !openSession())
            qCWarning(lcJournal) << "journal not opened:" << m_session.errorString();
    }
    bool ok = true;
    bool wrote = false;
    // Only a row that holds traffic the journal does not: an empty row (none counted yet, or a
    // new one after a log row, whose transaction cleared the journal) has nothing to lose.
    const bool changed = counters.rowStart != m_writtenStart || counters.rowBytesIn() != m_writtenIn
        || counters.rowBytesOut() != m_writtenOut;
    const bool empty = counters.rowBytesIn() <= 0 && counters.rowBytesOut() <= 0;
    if (changed && !empty && monotonicMsecs - m_lastWriteMsecs >= IntervalMsecs) {
        m_lastWriteMsecs = monotonicMsecs;
        ok = write(counters, now);
        wrote = ok;
    }
    // A checkpoint that a reader held off stays due: it is tried again CheckpointMsecs later, and
    // after every write while the write-ahead log is too large.
    if (m_unflushed && (monotonicMsecs - m_lastCheckpointMsecs >= CheckpointMsecs || (wrote && m_walLarge))) {
        m_lastCheckpointMsecs = monotonicMsecs;
        (void)checkpoint();
        watchWal();
    }
    return ok;
}

bool RowJournal::write(const RunCounters &counters, const QDateTime &now)
{
    // The row as the log writer would write it now: a clock set back never makes it end
    // before it starts, a row still open after midnight (its close refused) ends at the end
    // of its own day, with all its bytes, and one whose UTC offset changed ends in its own
    // offset, as the writer closes them.
    const RunCounters::RowClose close = counters.closeAt(now);
    const QDateTime &start = close.start;
    const QDateTime &end = close.end;
    const QString statement
        = QStringLiteral("INSERT OR REPLACE INTO RowJournal VALUES (1, '%1', '%2', %3, %4, %5)")
              .arg(StoredDate::format(start), StoredDate::format(end),
                  NumberText::plain(std::max(0.0, counters.rowBytesOut())),
                  NumberText::plain(std::max(0.0, counters.rowBytesIn())), QString::number(counters.avgDown, 'f', 4));
    if ((!m_session.isOpen() && !openSession()) || !m_session.executeNative(statement)) {
        m_error = m_session.errorString();
        qCWarning(lcJournal) << "open row not journaled:" << m_error;
        // A connection that failed is opened afresh at the next write.
        m_session.close();
        return false;
    }
    m_writtenUpTo = now;
    m_writtenStart = counters.rowStart;
    m_writtenIn = counters.rowBytesIn();
    m_writtenOut = counters.rowBytesOut();
    m_unflushed = true;
    m_error.clear();
    watchWal();
    return true;
}

bool RowJournal::checkpoint()
{
    if (!m_session.isOpen())
        return false;
    const std::optional<QueryResult> result = m_session.queryNative(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    if (!result) {
        qCWarning(lcJournal) << "checkpoint failed:" << m_session.errorString();
        return false;
    }
    // busy, the pages in the write-ahead log, the pages folded back: a reader's snapshot
    // keeps the pages after it (-1, -1 when the database has no write-ahead log).
    const qint64 logged = result->value(0, QStringLiteral("log")).toLongLong();
    const qint64 folded = result->value(0, QStringLiteral("checkpointed")).toLongLong();
    if (result->value(0, QStringLiteral("busy")).toLongLong() != 0 || folded < logged)
        return false;
    m_unflushed = false;
    return true;
}

qint64 RowJournal::walBytes() const
{
    return QFileInfo(m_walPath).size();
}

void RowJournal::watchWal()
{
    const qint64 bytes = walBytes();
    const bool large = bytes >= m_walWarningBytes;
    if (large == m_walLarge)
        return;
    m_walLarge = large;
    const QString message = large
        ? QStringLiteral("The database's write-ahead log has grown to %1 kB: another program holds a read "
                         "transaction on %2, so checkpoints cannot fold it back; one is tried at every write.")
              .arg(bytes / 1024)
              .arg(QFileInfo(m_walPath.chopped(4)).fileName())
        : QStringLiteral("The database's write-ahead log is back to %1 kB.").arg(bytes / 1024);
    if (large)
        qCWarning(lcJournal).noquote() << message;
    else
        qCInfo(lcJournal).noquote() << message;
    if (m_log)
        m_log->write(QStringLiteral(": ") + message);
}

void RowJournal::close()
{
    if (m_unflushed)
        (void)checkpoint();
    m_session.close();
}

bool RowJournal::recover(StoreSession &session, QString &recovered, QString &error)
{
    recovered.clear();
    const std::optional<QueryResult> row = session.queryNative(
        QStringLiteral("SELECT DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, AvgDownloadSpeed "
                       "FROM RowJournal"));
    if (!row) {
        error = session.errorString();
        return false;
    }
    if (row->isEmpty())
        return true;
    const bool ok = session.beginTransaction()
        && session.executeNative(QStringLiteral(
            "INSERT INTO Log SELECT DateAndTimeStart, DateAndTimeEnd, BytesSent, BytesRcvd, AvgDownloadSpeed "
            "FROM RowJournal WHERE BytesSent + BytesRcvd > 0"))
        && session.executeNative(clearStatement()) && session.commit();
    if (!ok) {
        error = session.errorString();
        session.rollback();
        return false;
    }
    QStringList fields;
    for (const QString &field : {QStringLiteral("DateAndTimeStart"), QStringLiteral("DateAndTimeEnd"),
             QStringLiteral("BytesSent"), QStringLiteral("BytesRcvd"), QStringLiteral("AvgDownloadSpeed")})
        fields << row->value(0, field).toString();
    recovered = fields.join(QLatin1Char('|'));
    return true;
}
