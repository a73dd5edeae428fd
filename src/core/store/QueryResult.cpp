// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/QueryResult.h"

#include "core/store/StoredDate.h"

QueryResult::QueryResult(QStringList fieldNames, QList<QVariantList> rows)
    : m_fieldNames(std::move(fieldNames))
    , m_rows(std::move(rows))
{
}

int QueryResult::fieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

QVariant QueryResult::value(int row, const QString &field) const
{
    const int column = fieldIndex(field);
    if (column < 0 || row < 0 || row >= rowCount())
        return {};
    return m_rows.at(row).value(column);
}

QDateTime QueryResult::dateTime(int row, const QString &field) const
{
    const QVariant stored = value(row, field);
    if (stored.typeId() != QMetaType::QString)
        return {};
    return StoredDate::parse(stored.toString());
}
