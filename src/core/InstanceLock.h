// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One Varnolt per database: two would meter the same adapters and log every byte twice.
// The lock is taken on the database file itself, so it holds however the file is reached (a
// symbolic link, "..", a hard link, a bind mount), and the kernel releases it when the
// holding process ends, however it ends.
class InstanceLock final
{
public:
    explicit InstanceLock(QString databasePath);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False when another running Varnolt holds the database. A file that cannot be opened
    // is left to start-up, which says what is wrong with it.
    [[nodiscard]] bool tryLock();

private:
    QString m_path;
    int m_fd = -1;
};
