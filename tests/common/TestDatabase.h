// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/StoreSession.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// A fresh, writable copy of the empty database that the build ships, in a folder of its
// own that disappears with the object.
class TestDatabase
{
public:
    TestDatabase()
    {
        m_path = m_dir.filePath(QStringLiteral("Varnolt.db"));
        if (!QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), m_path))
            qFatal("cannot copy the shipped database");
        QFile::setPermissions(
            m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }

    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }

    // Runs SQLite's own SQL on a connection of its own; fails the test on error.
    void exec(const QString &sql) const
    {
        StoreSession session(m_path);
        if (!session.open() || !session.executeNative(sql))
            QFAIL(qPrintable(session.errorString()));
    }

    // Every row of a native query, each row's fields joined by "|" (NULL as "NULL").
    QStringList rows(const QString &sql) const
    {
        StoreSession session(m_path);
        const std::optional<QueryResult> result = session.open() ? session.queryNative(sql) : std::nullopt;
        if (!result)
            qWarning("%s", qPrintable(session.errorString()));
        QStringList lines;
        for (const QVariantList &row : result ? result->rows() : QList<QVariantList>()) {
            QStringList fields;
            for (const QVariant &value : row)
                fields << (value.isNull() ? QStringLiteral("NULL") : value.toString());
            lines << fields.join(QLatin1Char('|'));
        }
        return lines;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};
