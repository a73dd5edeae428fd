#pragma once

#include <QLockFile>
#include <QString>

// One Varnolt per database: two would meter the same adapters and log every byte twice.
// The lock is a file beside the database that names the holding process; a lock left by a
// process that died is taken over.
class InstanceLock final
{
public:
    explicit InstanceLock(const QString &databasePath);

    // False when another running Varnolt holds the database.
    [[nodiscard]] bool tryLock();

private:
    QLockFile m_lock;
};
