#pragma once

#include "core/traffic/InterfaceTable.h"

#include <QString>

#include <vector>

class AdapterList;
struct RunCounters;

// The first step of every poll: reads the interface table, keeps the adapter list in step
// with it, and sets CurIn/CurOut of the run to the sums of the selected adapters' counters.
//
// The list is rebuilt, with the choice read from the settings table, when the table's
// interfaces are no longer the ones the list was built from (one came or went); between
// rebuilds the database is not touched and the selection is whatever the list holds now.
class SampleAdapters final
{
public:
    enum class Outcome {
        Summed, // CurIn/CurOut hold this pass's sums
        ReadFailed, // the table could not be read: the sums and the list are as they were
        RebuildFailed, // the list could not be rebuilt: as above, tried again at the next pass
    };

    SampleAdapters(InterfaceTable &table, AdapterList &list, RunCounters &counters, QString databasePath);

    Outcome run();

    QString errorString() const { return m_error; }

private:
    bool listMatchesTable() const;
    bool rebuild();

    InterfaceTable &m_table;
    AdapterList &m_list;
    RunCounters &m_counters;
    QString m_databasePath;
    std::vector<InterfaceCounters> m_rows; // kept between passes so a pass allocates nothing
    std::vector<int> m_builtFrom; // interface indexes of the list's entries
    QString m_error;
};
