// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/InstanceLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(QString databasePath)
    : m_path(std::move(databasePath))
{
}

InstanceLock::~InstanceLock()
{
    // Closed only when the run is over: closing a descriptor of the database file drops the
    // record locks SQLite holds on it in this process.
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InstanceLock::tryLock()
{
    if (m_fd >= 0)
        return true;
    // An open file description of its own: the lock (flock, not SQLite's record locks) is
    // on the file's inode and does not touch the database's own locking.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(fd);
        return !heldElsewhere;
    }
    m_fd = fd;
    return true;
}
