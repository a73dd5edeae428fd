// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/AdapterList.h"
#include "core/traffic/InterfaceTable.h"

#include <QList>
#include <QString>

#include <vector>

// Which interfaces a rebuilt adapter list selects, from the "Adapter<n>" rows of the settings
// table (n the entry's position, the value its description).
//
// - No such row: the default choice. Every interface backed by a device of its own is
//   selected; loopback and the virtual interfaces (veth, bridges, tun/tap, VLANs, bonds, ifb,
//   ...) are not, because they relay traffic that a card also carries, and selecting them
//   would count the same bytes two or three times. A machine without any such card (a
//   container, a virtual machine with virtual cards only) selects every interface but loopback.
// - A row with a value selects the entry of that description, by name only. Names stay with
//   their interfaces while positions shift as interfaces come and go (USB adapters, VPNs,
//   containers), so the name keeps the choice on the adapter the user chose; while that
//   adapter is absent the row selects nothing.
// - A row with an empty value (written by hand): its position n decides.
class AdapterChoice final
{
public:
    struct StoredRow
    {
        QString name; // "Adapter" + position
        QString value; // the description it was stored with
    };

    static QList<AdapterEntry> entries(const std::vector<InterfaceInfo> &interfaces, const QList<StoredRow> &rows);

    // The settings query the rows come from.
    static QString storedRowsQuery();
};
