// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QVariant>

// The rows of one query, read at once. Fields are found by name without regard to case.
// A SQL NULL is a null QVariant. Dates come back as the stored text "yyyy-MM-dd HH:mm:ss";
// dateTime() turns such a field into a QDateTime.
class QueryResult
{
public:
    QueryResult() = default;
    QueryResult(QStringList fieldNames, QList<QVariantList> rows);

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QStringList &fieldNames() const { return m_fieldNames; }
    const QList<QVariantList> &rows() const { return m_rows; }

    // -1 when no field has that name.
    int fieldIndex(const QString &name) const;
    // An invalid QVariant when the field does not exist or the row is out of range.
    QVariant value(int row, const QString &field) const;
    QDateTime dateTime(int row, const QString &field) const;

private:
    QStringList m_fieldNames;
    QList<QVariantList> m_rows;
};
