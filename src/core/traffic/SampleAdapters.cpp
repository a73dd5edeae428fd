#include "core/traffic/SampleAdapters.h"

#include "core/store/StoreSession.h"
#include "core/traffic/AdapterChoice.h"
#include "core/traffic/AdapterList.h"
#include "core/traffic/RunCounters.h"

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
    m_counterFell = false;
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
    // byte of it counts. The run's sums are exact as doubles up to 2^53 bytes (8 PiB).
    quint64 addIn = 0;
    quint64 addOut = 0;
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        Reading &last = m_last[p];
        if (!m_list.isSelected(int(p))) {
            last.known = false;
            continue;
        }
        const InterfaceCounters &now = m_rows[p];
        if (last.known) {
            m_counterFell = m_counterFell || now.inOctets < last.in || now.outOctets < last.out;
            addIn += now.inOctets >= last.in ? now.inOctets - last.in : now.inOctets;
            addOut += now.outOctets >= last.out ? now.outOctets - last.out : now.outOctets;
        }
        last = {now.inOctets, now.outOctets, true, now.index};
    }
    m_counters.curIn += double(addIn);
    m_counters.curOut += double(addOut);
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

    // The readings of the interfaces metered now follow them by name into the new list.
    for (std::size_t p = 0; p < m_last.size(); ++p) {
        if (m_last[p].known && m_list.isSelected(int(p)))
            m_departed.insert(m_list.text(int(p)), m_last[p]);
    }
    m_list.replace(AdapterChoice::entries(interfaces, stored));
    m_builtFrom.clear();
    m_last.assign(interfaces.size(), Reading {});
    for (std::size_t p = 0; p < interfaces.size(); ++p) {
        m_builtFrom.push_back(interfaces[p].index);
        const auto found = m_departed.constFind(interfaces[p].description);
        if (found == m_departed.constEnd())
            continue;
        if (found->index == interfaces[p].index) {
            m_last[p] = *found;
        } else {
            // Made anew under a metered name: its counters began at 0 when it was made.
            m_last[p] = {0, 0, true, interfaces[p].index};
            m_counterFell = true;
        }
        m_departed.erase(found);
    }
    return true;
}
