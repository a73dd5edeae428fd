// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/InterfaceTable.h"

#include <QHash>
#include <QString>

#include <functional>
#include <vector>

class AdapterList;

// The first step of every poll: reads the interface table, keeps the adapter list in step
// with it, and tells the traffic the selected adapters carried since the previous pass
// (added()), for the open row to add.
//
// Each metered interface is followed on its own: only its own change since its last reading
// is added. An interface that joins the metered set (chosen in the dialog, plugged in, moved
// into the namespace) starts from its current reading and adds nothing of its history; one
// that leaves takes nothing away. A counter lower than its last reading (the interface was
// reset by its driver) counts its new value from 0, and so does an interface re-created under
// a metered name (the kernel gives it a new index): everything the new one carries counts.
//
// A change larger than the interface can carry in the time since its last reading is not
// counted: a driver glitch or a counter that jumped would otherwise put terabytes into the
// log. The reading still moves on, so the next pass counts from there; a counter that then
// falls back to where it was (a glitch of one reading) counts from before the jump.
//
// The list is rebuilt, with the choice read from the settings table, when the table's
// interfaces are no longer the ones the list was built from (one came or went); between
// rebuilds the database is not touched and the selection is whatever the list holds now.
// The whole table is read only when the table says its interfaces may have changed (or a
// metered one is gone); every other pass reads the metered interfaces' counters alone.
class SampleAdapters final
{
public:
    enum class Outcome {
        Summed, // added() holds the traffic since the previous pass
        ReadFailed, // the table could not be read: the sums and the list are as they were
        RebuildFailed, // the list could not be rebuilt: as above, tried again at the next pass
    };

    SampleAdapters(InterfaceTable &table, AdapterList &list, QString databasePath);

    // monotonicMsecs: the time of this pass on a clock that never goes back.
    Outcome run(qint64 monotonicMsecs);

    // The most the interface is taken to carry in each direction, in Mbit/s: its link speed
    // where that binds it, else 100 Gbit/s.
    static qint64 linkLimitMbps(const InterfaceInfo &info);

    struct Added
    {
        quint64 in = 0;
        quint64 out = 0;
    };
    // The bytes the selected adapters carried since the previous pass (none after a pass
    // that was not Summed).
    Added added() const { return m_added; }

    // A metered interface was re-created or its counter fell at the last pass.
    bool counterFell() const { return m_counterFell; }

    QString errorString() const { return m_error; }

    // Called after a pass that rebuilt the adapter list, for what shows the list.
    void onListRebuilt(std::function<void()> follow) { m_listRebuilt = std::move(follow); }

private:
    static constexpr quint64 noJump = ~quint64(0);
    static constexpr quint64 noRevision = ~quint64(0);
    struct Reading
    {
        quint64 in = 0;
        quint64 out = 0;
        bool known = false; // false: the interface is not metered, or joins at the next pass
        int index = 0; // the kernel's interface index it was read from
        qint64 msecs = 0; // when it was read
        // The reading before a jump that was not counted, until the counter falls: one that
        // comes back from a glitch counts from there rather than its whole history from 0.
        quint64 inBeforeJump = noJump;
        quint64 outBeforeJump = noJump;
        // Warnings about changes not counted, at most one per interface in a while.
        bool warned = false;
        qint64 warnedMsecs = 0;
        int unwarned = 0; // changes not counted since that warning
    };
    struct Link
    {
        qint64 limitMbps = 0;
        bool physical = false;
    };

    // A counter's change since its last reading.
    static quint64 change(quint64 now, quint64 last, quint64 &beforeJump);
    bool listMatchesTable() const;
    void followChoice();
    bool rebuild();
    void dropImpossible(std::size_t position, qint64 elapsedMsecs, qint64 monotonicMsecs, quint64 &in, quint64 &out);

    InterfaceTable &m_table;
    AdapterList &m_list;
    QString m_databasePath;
    std::vector<InterfaceCounters> m_rows; // the whole table; kept so a pass allocates nothing
    bool m_readWholeTable = true; // until a whole read since the last change succeeds
    // The counters of the chosen entries and their positions, as of the list's choice revision.
    std::vector<InterfaceCounters> m_chosen;
    std::vector<std::size_t> m_chosenPositions;
    quint64 m_choiceRevision = noRevision;
    std::vector<int> m_builtFrom; // interface indexes of the list's entries
    std::vector<Reading> m_last; // the last reading of each entry, by position
    std::vector<Link> m_links; // what each entry can carry, by position
    // The last readings of metered interfaces that left the table, by name: one that comes
    // back (a replugged card, a re-created link) counts from there rather than joining anew.
    QHash<QString, Reading> m_departed;
    Added m_added;
    bool m_counterFell = false;
    QString m_error;
    std::function<void()> m_listRebuilt;
};
