#include "core/traffic/SampleAdapters.h"

#include "core/traffic/AdapterChoice.h"
#include "core/traffic/AdapterList.h"
#include "core/traffic/RunCounters.h"
#include "core/store/StoreSession.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcSampling, "varnolt.sampling")
}

SampleAdapters::SampleAdapters(InterfaceTable &table, AdapterList &list, RunCounters &counters, QString databasePath)
    : m_table(table)
    , m_list(list)
    , m_counters(counters)
    , m_databasePath(std::move(databasePath))
{
}

SampleAdapters::Outcome SampleAdapters::run()
{
    if (!m_table.readCounters(m_rows)) {
        m_error = m_table.errorString();
        qCDebug(lcSampling) << "interface table not read:" << m_error;
        return Outcome::ReadFailed;
    }
    if (!listMatchesTable() && !rebuild()) {
        qCDebug(lcSampling) << "adapter list not rebuilt:" << m_error;
        return Outcome::RebuildFailed;
    }

    // Whole 64-bit counters: a busy link passes 2^31 and 2^32 bytes within hours, and every
    // byte of it counts. The sums are exact as doubles up to 2^53 bytes (8 PiB).
    quint64 sumIn = 0;
    quint64 sumOut = 0;
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        if (m_list.isSelected(int(p))) {
            sumIn += m_rows[p].inOctets;
            sumOut += m_rows[p].outOctets;
        }
    }
    m_counters.curIn = double(sumIn);
    m_counters.curOut = double(sumOut);
    return Outcome::Summed;
}

bool SampleAdapters::listMatchesTable() const
{
    if (std::size_t(m_list.count()) != m_rows.size() || m_builtFrom.size() != m_rows.size())
        return false;
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        if (m_rows[p].index != m_builtFrom[p])
            return false;
    }
    return true;
}

bool SampleAdapters::rebuild()
{
    std::vector<InterfaceInfo> interfaces;
    if (!m_table.readInfo(interfaces)) {
        m_error = m_table.errorString();
        return false;
    }
    // An interface that came or went between the two reads: the next pass sees one table.
    const bool sameTable = std::equal(interfaces.begin(), interfaces.end(), m_rows.begin(), m_rows.end(),
        [](const InterfaceInfo &i, const InterfaceCounters &c) { return i.index == c.index; });
    if (!sameTable) {
        m_error = QStringLiteral("The interface table changed while it was read.");
        return false;
    }

    QList<AdapterChoice::StoredRow> stored;
    if (!interfaces.empty()) {
        StoreSession session(m_databasePath);
        if (!session.open()) {
            m_error = session.errorString();
            return false;
        }
        const std::optional<QueryResult> result = session.query(AdapterChoice::storedRowsQuery());
        if (!result) {
            m_error = session.errorString();
            return false;
        }
        for (int row = 0; row < result->rowCount(); ++row)
            stored.append({result->value(row, QStringLiteral("settingname")).toString(),
                result->value(row, QStringLiteral("settingvalue")).toString()});
    }

    m_list.replace(AdapterChoice::entries(interfaces, stored));
    m_builtFrom.clear();
    for (const InterfaceInfo &interface : interfaces)
        m_builtFrom.push_back(interface.index);
    return true;
}
