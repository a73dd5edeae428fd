// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>

struct AdapterEntry
{
    QString text; // the interface's description
    bool selected = false; // the adapter is metered
};

// The adapters the user can choose from, in interface-table order, each with its choice.
// The poll fills it and reads the choice back on every pass; the options dialog shows it and
// changes the choice, which counts from the next poll on, before it is stored.
class AdapterList final
{
public:
    int count() const { return int(m_entries.size()); }
    const QList<AdapterEntry> &entries() const { return m_entries; }
    QString text(int position) const { return m_entries.at(position).text; }
    bool isSelected(int position) const { return m_entries.at(position).selected; }
    void setSelected(int position, bool selected);

    void replace(QList<AdapterEntry> entries);

    // Position and text of every selected entry: what the settings table keeps of the choice.
    QList<QPair<int, QString>> selection() const;

    // Advances whenever the entries are replaced, so that a view showing them knows to refill.
    quint64 revision() const { return m_revision; }
    // Advances whenever the entries are replaced or a choice changes, so that the sampler
    // knows to look at the choice again.
    quint64 choiceRevision() const { return m_choiceRevision; }

private:
    QList<AdapterEntry> m_entries;
    quint64 m_revision = 0;
    quint64 m_choiceRevision = 0;
};
