// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

class JetConvert;
class Settings;
class StoreSession;

// The settings table: reading every row into the settings model at start-up, and writing
// keys back the way the table is kept (the key's row deleted, then inserted again).
class SettingsStore final
{
public:
    explicit SettingsStore(QString databasePath);

    // Applies every row of the table in table order, so the last of two rows with one key
    // wins. A value its key cannot take (no value, empty, not a number, or a number outside
    // what the options dialog allows) gives the key's default instead, with a line in
    // diagnostics() and a warning in varnolt.settings. False, with errorString(), only when
    // the table cannot be read.
    [[nodiscard]] bool load(StoreSession &session, Settings &settings);
    // What the last load put in place of stored values, one line each.
    QStringList diagnostics() const { return m_diagnostics; }

    // Writes the given keys on one connection, all or none.
    [[nodiscard]] bool write(const QList<QPair<QString, QString>> &values);

    // Replaces the stored adapter choice: one row "Adapter" + list index per selected entry,
    // the entry's text as value.
    [[nodiscard]] bool writeAdapterSelection(const QList<QPair<int, QString>> &selected);
    // What the options dialog's OK stores: the adapter choice, then the keys, all or none.
    [[nodiscard]] bool writeOptions(
        const QList<QPair<int, QString>> &selectedAdapters, const QList<QPair<QString, QString>> &values);

    QString errorString() const { return m_error; }

    // The statements that write the keys: each key's row deleted, then inserted again.
    static QStringList keyStatements(const QList<QPair<QString, QString>> &values);

    // Text as an SQL string literal's content: every single quote doubled.
    static QString quoted(const QString &value);

private:
    void apply(const QString &key, const QVariant &stored, const JetConvert &convert, Settings &settings);
    bool runInTransaction(const QStringList &statements);
    static QStringList adapterStatements(const QList<QPair<int, QString>> &selected);

    QString m_path;
    QString m_error;
    QStringList m_diagnostics;
};
