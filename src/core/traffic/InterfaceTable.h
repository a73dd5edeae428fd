// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <vector>

// One interface's byte counters, as the kernel has counted them since the interface came up.
struct InterfaceCounters
{
    int index = 0; // the kernel's interface index
    quint64 inOctets = 0;
    quint64 outOctets = 0;
};

// What the adapter list shows of an interface, and what the default choice looks at.
struct InterfaceInfo
{
    int index = 0;
    QString description; // the interface name, unchanged
    bool loopback = false;
    // Backed by a device of its own (a PCI or USB card, a modem), rather than a virtual
    // interface that relays traffic some other interface carries as well.
    bool physical = false;
    // The link speed in Mbit/s the kernel reports for such a card, or -1 where it reports none
    // (no link, or a driver that does not know). -1 as well for a virtual interface, and on a
    // virtual machine, whose emulated and paravirtual cards report a speed their hypervisor
    // does not hold them to.
    int linkSpeedMbps = -1;
};

// The machine's interface table, rows in interface-index order. The whole table (every
// interface's counters) is read only when interfaces may have come, gone, been renamed or made
// anew; between such changes a poll reads the counters of the metered interfaces alone. Names
// and kinds are read only when the adapter list is rebuilt, which is why they come from a call
// of their own.
class InterfaceTable
{
public:
    virtual ~InterfaceTable() = default;

    // False when the table could not be read; an empty table is a successful read of no rows.
    [[nodiscard]] virtual bool readCounters(std::vector<InterfaceCounters> &rows) = 0;

    // Whether interfaces may have come, gone, been renamed or made anew since the last call
    // (always at the first), so that the whole table is to be read again before the counters
    // of single interfaces are trusted. A table that cannot tell says yes every time.
    [[nodiscard]] virtual bool linksChanged() = 0;

    enum class CountersRead {
        Read, // every row holds its interface's counters as they are now
        Gone, // an interface asked for is no longer in the table: read the whole table
        Failed, // see errorString()
    };
    // The counters of the interfaces whose indexes the rows hold, read into those rows; the
    // rows are in interface-index order. Unless Read, their counters are not to be used. A
    // table that reads single interfaces no cheaper picks them from the whole table.
    [[nodiscard]] virtual CountersRead readCountersOf(std::vector<InterfaceCounters> &rows)
    {
        std::vector<InterfaceCounters> whole;
        return readCounters(whole) ? pick(whole, rows) : CountersRead::Failed;
    }

    [[nodiscard]] virtual bool readInfo(std::vector<InterfaceInfo> &rows) = 0;
    // The link speed the kernel reports now for the interface with this index, in Mbit/s, as
    // ethtool shows it (a virtual interface's too), or -1 where it reports none. Asked only
    // when a card's change goes past the speed read with its info: the link may have come up
    // faster since.
    virtual int readLinkSpeed(int index) = 0;

    virtual QString errorString() const = 0;

protected:
    // The rows' interfaces taken from a read of the whole table. Both in index order, each is
    // found after the one before, in one walk; rows in another order are found all the same.
    static CountersRead pick(const std::vector<InterfaceCounters> &whole, std::vector<InterfaceCounters> &rows)
    {
        auto from = whole.cbegin();
        for (InterfaceCounters &row : rows) {
            const auto same = [&row](const InterfaceCounters &w) { return w.index == row.index; };
            auto found = std::find_if(from, whole.cend(), same);
            if (found == whole.cend() && (found = std::find_if(whole.cbegin(), from, same)) == from)
                return CountersRead::Gone;
            row = *found;
            from = found + 1;
        }
        return CountersRead::Read;
    }
};
