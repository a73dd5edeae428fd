// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/SampleAdapters.h"

#include "core/store/StoreSession.h"
#include "core/traffic/AdapterChoice.h"
#include "core/traffic/AdapterList.h"

#include <QLoggingCategory>

#include <algorithm>

namespace {
Q_LOGGING_CATEGORY(lcSampling, "varnolt.sampling")

// The limit of an interface whose link speed does not bind it. A veth reports 10,000 Mbit/s
// yet moves whatever the CPU can copy between namespaces, loopback reports nothing, and a
// virtual machine's card reports a speed its hypervisor does not hold it to; 100 Gbit/s
// still tells a glitch of terabytes from traffic.
constexpr qint64 defaultLimitMbps = 100'000;

// Added to the time between two readings. That time is taken in this program, not when the
// kernel counted: a reading can come late after its time was taken (a busy machine), and
// many drivers copy their hardware counters only once a second, so a reading can hold up to
// a second more than the time between two passes.
constexpr qint64 lateCounterMsecs = 2000;

// A counter that jumps on every pass is reported once in this time, with the count since.
constexpr qint64 warningGapMsecs = 10 * 60 * 1000;

// The bytes a link of limitMbps carries in one direction within elapsedMsecs, with the
// margin. Counters count layer-2 bytes, fewer than the line carries (preamble and gap).
double allowance(qint64 limitMbps, qint64 elapsedMsecs)
{
    return double(limitMbps) * 125.0 * double(elapsedMsecs + lateCounterMsecs);
}

qint64 limitMbps(bool physical, int speedMbps)
{
    return physical && speedMbps > 0 ? qint64(speedMbps) : defaultLimitMbps;
}
} // namespace

SampleAdapters::SampleAdapters(InterfaceTable &table, AdapterList &list, QString databasePath)
    : m_table(table)
    , m_list(list)
    , m_databasePath(std::move(databasePath))
{
}

qint64 SampleAdapters::linkLimitMbps(const InterfaceInfo &info)
{
    return limitMbps(info.physical, info.linkSpeedMbps);
}

// A counter that fell was reset and counts its new value from 0, unless it came back from a
// jump that was not counted: then from before the jump.
quint64 SampleAdapters::change(quint64 now, quint64 last, quint64 &beforeJump)
{
    if (now >= last)
        return now - last;
    const quint64 from = now >= beforeJump ? beforeJump : 0;
    beforeJump = noJump;
    return now - from;
}

SampleAdapters::Outcome SampleAdapters::run(qint64 monotonicMsecs)
{
    m_counterFell = false;
    m_added = {};
    // Drained at every pass: a change heard while the whole table cannot be read is not
    // forgotten, the table is read until a read succeeds.
    if (m_table.linksChanged() || std::size_t(m_list.count()) != m_builtFrom.size())
        m_readWholeTable = true;
    if (!m_readWholeTable) {
        followChoice();
        const InterfaceTable::CountersRead read = m_table.readCountersOf(m_chosen);
        if (read == InterfaceTable::CountersRead::Failed) {
            m_error = m_table.errorString();
            qCDebug(lcSampling) << "interface counters not read:" << m_error;
            return Outcome::ReadFailed;
        }
        m_readWholeTable = read == InterfaceTable::CountersRead::Gone;
    }
    bool rebuilt = false;
    if (m_readWholeTable) {
        if (!m_table.readCounters(m_rows)) {
            m_error = m_table.errorString();
            qCDebug(lcSampling) << "interface table not read:" << m_error;
            return Outcome::ReadFailed;
        }
        if (!listMatchesTable()) {
            if (!rebuild()) {
                qCDebug(lcSampling) << "adapter list not rebuilt:" << m_error;
                return Outcome::RebuildFailed;
            }
            rebuilt = true;
        }
        m_readWholeTable = false;
        m_choiceRevision = noRevision;
        followChoice();
        for (std::size_t i = 0; i < m_chosen.size(); ++i)
            m_chosen[i] = m_rows[m_chosenPositions[i]];
    }

    // Whole 64-bit counters: a busy link passes 2^31 and 2^32 bytes within hours, and every
    // byte of it counts.
    quint64 addIn = 0;
    quint64 addOut = 0;
    for (std::size_t i = 0; i < m_chosen.size(); ++i) {
        const std::size_t p = m_chosenPositions[i];
        Reading &last = m_last[p];
        const InterfaceCounters &now = m_chosen[i];
        if (last.known) {
            m_counterFell = m_counterFell || now.inOctets < last.in || now.outOctets < last.out;
            quint64 in = change(now.inOctets, last.in, last.inBeforeJump);
            quint64 out = change(now.outOctets, last.out, last.outBeforeJump);
            const qint64 elapsed = std::max<qint64>(monotonicMsecs - last.msecs, 0);
            if (double(std::max(in, out)) > allowance(m_links[p].limitMbps, elapsed))
                dropImpossible(p, elapsed, monotonicMsecs, in, out);
            addIn += in;
            addOut += out;
        }
        last.in = now.inOctets;
        last.out = now.outOctets;
        last.known = true;
        last.index = now.index;
        last.msecs = monotonicMsecs;
    }
    m_added = {addIn, addOut};
    if (rebuilt && m_listRebuilt)
        m_listRebuilt();
    return Outcome::Summed;
}

void SampleAdapters::followChoice()
{
    if (m_list.choiceRevision() == m_choiceRevision)
        return;
    m_choiceRevision = m_list.choiceRevision();
    m_chosen.clear();
    m_chosenPositions.clear();
    for (std::size_t p = 0; p < m_builtFrom.size(); ++p) {
        if (m_list.isSelected(int(p))) {
            m_chosen.push_back({m_builtFrom[p], 0, 0});
            m_chosenPositions.push_back(p);
        } else {
            // Chosen again later, it starts from its reading then.
            m_last[p].known = false;
        }
    }
}

void SampleAdapters::dropImpossible(
    std::size_t position, qint64 elapsedMsecs, qint64 monotonicMsecs, quint64 &in, quint64 &out)
{
    Link &link = m_links[position];
    if (link.physical) {
        // The link may have come up faster since its speed was read (a cable moved from a
        // 100 Mbit/s port to a 1 Gbit/s one); the limit is only ever raised.
        link.limitMbps = std::max(link.limitMbps, limitMbps(true, m_table.readLinkSpeed(m_builtFrom[position])));
    }
    const double allowed = allowance(link.limitMbps, elapsedMsecs);
    const bool dropIn = double(in) > allowed;
    const bool dropOut = double(out) > allowed;
    if (!dropIn && !dropOut)
        return;

    Reading &last = m_last[position];
    if (last.warned && monotonicMsecs - last.warnedMsecs < warningGapMsecs) {
        ++last.unwarned;
    } else {
        QString changes;
        if (dropIn)
            changes = QStringLiteral("%1 bytes received").arg(in);
        if (dropOut)
            changes += (dropIn ? QLatin1String(" and ") : QLatin1String()) + QStringLiteral("%1 bytes sent").arg(out);
        QString since;
        if (last.unwarned > 0)
            since = QStringLiteral("; %1 more such changes not counted since the last warning").arg(last.unwarned);
        // One pass of arg(): a name may hold a "%1" of its own.
        const QString text = QStringLiteral("%1: not counted: %2 in %3 ms, more than the %4 bytes a %5 Mbit/s link "
                                            "carries in that time (with %6 ms for counters read late): a driver "
                                            "glitch or a counter that jumped%7")
                                 .arg(m_list.text(int(position)), changes, QString::number(elapsedMsecs),
                                     QString::number(qint64(allowed)), QString::number(link.limitMbps),
                                     QString::number(lateCounterMsecs), since);
        qCWarning(lcSampling).noquote() << text;
        last.warned = true;
        last.warnedMsecs = monotonicMsecs;
        last.unwarned = 0;
    }
    if (dropIn) {
        in = 0;
        last.inBeforeJump = last.in;
    }
    if (dropOut) {
        out = 0;
        last.outBeforeJump = last.out;
    }
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
    m_links.clear();
    m_last.assign(interfaces.size(), Reading {});
    for (std::size_t p = 0; p < interfaces.size(); ++p) {
        m_builtFrom.push_back(interfaces[p].index);
        m_links.push_back({linkLimitMbps(interfaces[p]), interfaces[p].physical});
        const auto found = m_departed.constFind(interfaces[p].description);
        if (found == m_departed.constEnd())
            continue;
        m_last[p] = *found;
        if (found->index != interfaces[p].index) {
            // Made anew under a metered name: its counters began at 0 when it was made, after
            // the old one's last reading.
            m_last[p].in = 0;
            m_last[p].out = 0;
            m_last[p].inBeforeJump = noJump;
            m_last[p].outBeforeJump = noJump;
            m_last[p].index = interfaces[p].index;
            m_counterFell = true;
        }
        m_departed.erase(found);
    }
    return true;
}
