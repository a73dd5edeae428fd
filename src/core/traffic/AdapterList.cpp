// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/AdapterList.h"

void AdapterList::setSelected(int position, bool selected)
{
    if (position >= 0 && position < count() && m_entries.at(position).selected != selected) {
        m_entries[position].selected = selected;
        ++m_choiceRevision;
    }
}

void AdapterList::replace(QList<AdapterEntry> entries)
{
    m_entries = std::move(entries);
    ++m_revision;
    ++m_choiceRevision;
}

QList<QPair<int, QString>> AdapterList::selection() const
{
    QList<QPair<int, QString>> selected;
    for (int position = 0; position < count(); ++position) {
        if (m_entries.at(position).selected)
            selected.append({position, m_entries.at(position).text});
    }
    return selected;
}
