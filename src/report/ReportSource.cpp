// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportSource.h"

#include "core/SettingsStore.h"
#include "core/store/StoredDate.h"

using namespace Qt::StringLiterals;

ReportSource::ReportSource(QString databasePath)
    : m_path(std::move(databasePath))
    , m_session(m_path)
{
    m_session.setReadOnly(true);
    m_session.setBusyTimeout(LockWaitMs);
    m_session.setStatementTimeLimit(StatementTimeLimitMs);
}

bool ReportSource::open()
{
    if (!m_session.open())
        return fail(m_session.errorString());
    if (!readOpenRow())
        return false;
    SettingsStore store(m_path);
    if (!store.load(m_session, m_settings))
        return fail(store.errorString());
    return true;
}

bool ReportSource::readOpenRow()
{
    m_openRow = RunCounters {};
    // A database the program has not started on since it keeps a journal has none.
    const std::optional<QueryResult> table
        = m_session.queryNative(u"SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'RowJournal'"_s);
    if (!table)
        return fail(m_session.errorString());
    if (table->isEmpty())
        return true;
    // The same row RowJournal::recover turns into a log row at the next start.
    const std::optional<QueryResult> row
        = m_session.queryNative(u"SELECT DateAndTimeStart, BytesSent, BytesRcvd FROM RowJournal"_s);
    if (!row)
        return fail(m_session.errorString());
    if (row->isEmpty())
        return true;
    m_openRow.rowStart = StoredDate::parse(row->value(0, u"DateAndTimeStart"_s).toString());
    m_openRow.curOut = row->value(0, u"BytesSent"_s).toDouble();
    m_openRow.curIn = row->value(0, u"BytesRcvd"_s).toDouble();
    m_openRow.sampled = true;
    return true;
}

bool ReportSource::fail(const QString &message)
{
    // One line for the terminal: the store adds the statement on a line of its own.
    m_error = message.section(u'\n', 0, 0);
    return false;
}
