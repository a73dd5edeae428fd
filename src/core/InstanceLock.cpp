#include "core/InstanceLock.h"

InstanceLock::InstanceLock(const QString &databasePath)
    : m_lock(databasePath + QLatin1String(".lock"))
{
    // Only a dead holder makes a lock stale, however long a run lasts.
    m_lock.setStaleLockTime(0);
}

bool InstanceLock::tryLock()
{
    // A folder where no lock file can be made does not keep the program from running.
    return m_lock.tryLock(0) || m_lock.error() != QLockFile::LockFailedError;
}
