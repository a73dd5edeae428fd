// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/AdapterChoice.h"

#include <QSet>

namespace {

bool isDefaultChoice(const InterfaceInfo &interface, bool anyPhysical)
{
    if (interface.loopback)
        return false;
    return interface.physical || !anyPhysical;
}

// The position a row's name stands for, or -1 for a name that is not "Adapter" + a number.
int positionOf(const QString &name)
{
    static const QLatin1String prefix("Adapter");
    if (!name.startsWith(prefix, Qt::CaseInsensitive))
        return -1;
    const QString digits = name.mid(prefix.size());
    bool ok = false;
    const int position = digits.toInt(&ok);
    return ok && position >= 0 && QString::number(position) == digits ? position : -1;
}

} // namespace

QList<AdapterEntry> AdapterChoice::entries(const std::vector<InterfaceInfo> &interfaces, const QList<StoredRow> &rows)
{
    QList<AdapterEntry> result;
    result.reserve(qsizetype(interfaces.size()));
    for (const InterfaceInfo &interface : interfaces)
        result.append({interface.description, false});

    if (rows.isEmpty()) {
        const bool anyPhysical = std::any_of(
            interfaces.begin(), interfaces.end(), [](const InterfaceInfo &i) { return i.physical && !i.loopback; });
        for (std::size_t p = 0; p < interfaces.size(); ++p)
            result[qsizetype(p)].selected = isDefaultChoice(interfaces[p], anyPhysical);
        return result;
    }

    // A row that names its adapter selects that adapter wherever it stands now, and nothing
    // while it is absent: the interface that took its position (another USB card, a VPN) is
    // not the one the user chose. Only a row without a name (written by hand) selects by position.
    QSet<QString> storedNames;
    for (const StoredRow &row : rows) {
        if (!row.value.isEmpty()) {
            storedNames.insert(row.value);
            continue;
        }
        const int position = positionOf(row.name);
        if (position >= 0 && position < result.size())
            result[position].selected = true;
    }
    for (AdapterEntry &entry : result)
        entry.selected = entry.selected || storedNames.contains(entry.text);
    return result;
}

QString AdapterChoice::storedRowsQuery()
{
    return QStringLiteral("select settingname, settingvalue from settings where settingname like 'Adapter%';");
}
