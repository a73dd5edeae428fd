// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/TrafficLogWriter.h"

#include "core/Clock.h"
#include "core/store/FormatDateText.h"
#include "core/store/NumberText.h"
#include "core/store/StoreSession.h"
#include "core/traffic/OpenRow.h"
#include "core/traffic/RowJournal.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLogWriter, "varnolt.logwriter")

namespace {

// The log writer works with a larger page cache than the other operations.
constexpr int WriterBufferSizeKb = 1000;

QString rowStatement(const QString &head, const QDateTime &start, const QDateTime &end, const RunCounters &c)
{
    return head + QLatin1String(" values('") + FormatDateText(start) + QLatin1String("','") + FormatDateText(end)
        + QLatin1String("',") + NumberText::plain(c.rowBytesOut()) + QLatin1Char(',')
        + NumberText::plain(c.rowBytesIn()) + QLatin1String(",'") + NumberText::fourDecimals(c.avgDown)
        + QLatin1String("');");
}

} // namespace

TrafficLogWriter::TrafficLogWriter(QString databasePath, OpenRow &row, const Clock &clock, const DebugLog &log)
    : m_path(std::move(databasePath))
    , m_row(row)
    , m_clock(clock)
    , m_log(log)
{
}

bool TrafficLogWriter::write()
{
    DebugLog::Batch debug(m_log);
    const QDateTime now = m_clock.now();

    debug.write(QStringLiteral(": Step1"));
    // A row that began on an earlier day is closed at the end of its own day and the next
    // row starts at today's first second, with a day marker there. A wall clock set back (by
    // hand, by NTP) ends the row at its last good time and starts the next one at the new
    // time, so that no row ends before it starts. A change of the UTC offset (daylight saving,
    // time zone) ends the row at its real end in its own offset and starts the next one at
    // the new local time (RunCounters::closeAt). Before the first sample of the run there is
    // no row yet: the row starts and ends now.
    const RunCounters::RowClose close = m_row.closeAt(now);
    if (!commit(rowStatements(close, debug), debug))
        return false;
    // The next row starts from the very readings this one ended with, so that no byte
    // between them is lost; its average starts afresh.
    m_row.startNext(close, now);
    return true;
}

QStringList TrafficLogWriter::rowStatements(const RunCounters::RowClose &close, DebugLog::Batch &debug) const
{
    const RunCounters &c = m_row.counters();
    QStringList statements {
        QStringLiteral("Delete from log where BytesSent=0 and BytesRcvd =0 and AvgDownloadSpeed=0;")};
    const QString caseName = close.newDay ? QStringLiteral("Step2a") : QStringLiteral("Step2b");
    debug.write(QStringLiteral(": ") + caseName);
    for (const QString &detail :
        {FormatDateText(close.start), FormatDateText(close.end), NumberText::plain(c.rowBytesOut()),
            NumberText::plain(c.rowBytesIn()), NumberText::fourDecimals(c.avgDown)})
        debug.writeUnstamped(caseName + QLatin1String(": ") + detail);
    if (close.newDay) {
        statements << rowStatement(QStringLiteral("INSERT INTO Log"), close.start, close.end, c);
        // The day marker; the next call deletes it again with the other markers.
        statements << QStringLiteral("INSERT INTO Log values('%1','%1',0,0,0);").arg(FormatDateText(close.nextStart));
    } else {
        statements << rowStatement(
            QStringLiteral("INSERT INTO Log(DateAndTimeStart,DateAndTimeEnd,BytesSent,BytesRcvd,AvgDownloadSpeed)"),
            close.start, close.end, c);
    }
    return statements;
}

bool TrafficLogWriter::commit(const QStringList &statements, DebugLog::Batch &debug)
{
    // All statements in one transaction: a refused write leaves the table as it was.
    // A log row is flushed to the disk with its commit (rows are rare: the journal's frequent
    // writes are the ones that skip the flush), so that a power cut cannot take it back.
    StoreSession session(m_path, WriterBufferSizeKb);
    bool ok = session.open() && session.executeNative(QStringLiteral("PRAGMA synchronous=FULL"))
        && session.beginTransaction();
    for (int i = 0; ok && i < statements.size(); ++i) {
        if (i == statements.size() - 1)
            debug.write(QStringLiteral(": Step2"));
        ok = session.execute(statements.at(i));
    }
    // The open row's journal goes in the same transaction: it is now a row of the log.
    ok = ok && session.executeNative(RowJournal::clearStatement()) && session.commit();
    if (!ok) {
        m_error = session.errorString();
        session.rollback();
        debug.write(QStringLiteral(": Log row not written, kept for the next try: ") + m_error);
        qCWarning(lcLogWriter) << "log row not written:" << m_error;
        return false;
    }
    debug.write(QStringLiteral(": Done"));
    session.close();
    return true;
}
