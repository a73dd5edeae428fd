// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/SchemaUpgrade.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/store/DayTotals.h"
#include "core/store/DayViewDefinition.h"
#include "core/store/StoredDate.h"
#include "core/store/StoreSession.h"

SchemaUpgrade::SchemaUpgrade(StoreSession &session, const Clock &clock, const DebugLog &log)
    : m_session(session)
    , m_clock(clock)
    , m_log(log)
{
}

bool SchemaUpgrade::run()
{
    m_log.write(QStringLiteral(": Upgrading database: Step1."));
    const std::optional<QueryResult> view = m_session.queryNative(QStringLiteral(
        "select name from sqlite_master where type = 'view' and name = 'DownloadPerDay' collate nocase"));
    const std::optional<QueryResult> catalog = m_session.queryNative(
        QStringLiteral("select DateModified from ViewCatalog where ViewName = 'DownloadPerDay'"));
    if (!view || !catalog) {
        m_error = m_session.errorString();
        return false;
    }
    m_log.write(QStringLiteral(": Upgrading database: Step2."));
    if (view->isEmpty()) {
        m_error = QStringLiteral("The database has no view DownloadPerDay.");
        return false;
    }
    // A view without a catalog entry was made by hand: it has no date, and is left alone.
    const int year = catalog->isEmpty() ? 0 : catalog->dateTime(0, QStringLiteral("DateModified")).date().year();
    m_log.write(QStringLiteral(": Upgrading database: ") + QString::number(year));
    if (year == OutdatedYear && !replaceDayView())
        return false;
    return addJournalTable() && addDayTotals();
}

QString SchemaUpgrade::journalTableSql()
{
    return QStringLiteral("CREATE TABLE RowJournal (Id INTEGER PRIMARY KEY CHECK (Id = 1), "
                          "DateAndTimeStart DATETIME NOT NULL, DateAndTimeEnd DATETIME NOT NULL, "
                          "BytesSent INTEGER NOT NULL, BytesRcvd INTEGER NOT NULL, AvgDownloadSpeed DOUBLE NOT NULL)");
}

bool SchemaUpgrade::addJournalTable()
{
    const std::optional<QueryResult> table = m_session.queryNative(
        QStringLiteral("select name from sqlite_master where type = 'table' and name = 'RowJournal'"));
    if (table && !table->isEmpty())
        return true;
    if (!table || !m_session.executeNative(journalTableSql())) {
        m_error = m_session.errorString();
        return false;
    }
    return true;
}

bool SchemaUpgrade::replaceDayView()
{
    const QString modified = StoredDate::format(m_clock.now());
    if (!m_session.beginTransaction()) {
        m_error = m_session.errorString();
        return false;
    }
    const bool ok = m_session.executeNative(QStringLiteral("drop view DownloadPerDay"))
        && m_session.executeNative(QStringLiteral("create view DownloadPerDay as ") + DayViewDefinition::sqliteText())
        && m_session.executeNative(QStringLiteral("update ViewCatalog set DateModified = '%1' "
                                                  "where ViewName = 'DownloadPerDay'")
                                       .arg(modified))
        && m_session.commit();
    if (!ok) {
        m_error = m_session.errorString();
        m_session.rollback();
    }
    return ok;
}

bool SchemaUpgrade::addDayTotals()
{
    const std::optional<QueryResult> table = m_session.queryNative(
        QStringLiteral("select name from sqlite_master where type = 'table' and name = 'LogPerDay' collate nocase"));
    const std::optional<QueryResult> catalog
        = m_session.queryNative(QStringLiteral("select ViewName from ViewCatalog"));
    if (!table || !catalog) {
        m_error = m_session.errorString();
        return false;
    }
    if (!table->isEmpty())
        return true;
    m_log.write(QStringLiteral(": Upgrading database: Totals per day."));
    QStringList programViews;
    for (int row = 0; row < catalog->rowCount(); ++row)
        programViews << catalog->value(row, QStringLiteral("ViewName")).toString();

    // One transaction: a failure leaves the database as it was, and the next start tries again.
    const QString modified = StoredDate::format(m_clock.now());
    bool ok = m_session.beginTransaction() && m_session.executeNative(DayTotals::tableSql());
    for (const QString &trigger : DayTotals::triggerSql())
        ok = ok && m_session.executeNative(trigger);
    // The index served only the views that totalled the log per day.
    ok = ok && m_session.executeNative(DayTotals::fillSql())
        && m_session.executeNative(QStringLiteral("drop index if exists LogByDay"));
    for (const auto &[name, select] : DayTotals::views()) {
        // A view without a catalog entry was made by hand, and is left alone.
        if (!ok || !programViews.contains(name, Qt::CaseInsensitive))
            continue;
        ok = m_session.executeNative(QStringLiteral("drop view if exists ") + name)
            && m_session.executeNative(QStringLiteral("create view %1 as ").arg(name) + select)
            && m_session.executeNative(
                QStringLiteral("update ViewCatalog set DateModified = '%1' where ViewName = '%2'").arg(modified, name));
    }
    ok = ok && m_session.commit();
    if (!ok) {
        m_error = m_session.errorString();
        m_session.rollback();
    }
    return ok;
}
