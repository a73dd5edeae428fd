// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SQLite writes a journal beside the file, so the folder must be writable too. Asked with
// the effective identity, the one that opens the file.
bool writable(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

// The folder and every missing folder above it, each made owner-only (0700) whatever the
// umask: the data folder holds every row of traffic the user ever made.
bool makeFolders(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !makeFolders(parent))
        return false;
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), S_IRWXU) != 0)
        return errno == EEXIST && QFileInfo(path).isDir();
    return ::chmod(name.constData(), S_IRWXU) == 0;
}

// The user's copy of the shipped database, owner-only (0600) from its first byte: a copy
// that took the shipped file's mode would be readable by every local user until changed,
// and whoever opened it in that moment could go on reading every row written later. Written
// beside under another name and renamed, so that a copy cut short is never taken for the
// database.
bool seed(const QString &shipped, const QString &own)
{
    QFile source(shipped);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;
    const QString part = own + QLatin1String(".part");
    QFile::remove(part);
    QFile target(part);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const bool written = ::fchmod(target.handle(), S_IRUSR | S_IWUSR) == 0 && target.write(bytes) == bytes.size()
        && target.flush() && ::fsync(target.handle()) == 0;
    target.close();
    if (written && target.error() == QFileDevice::NoError && QFile::rename(part, own))
        return true;
    QFile::remove(part);
    return false;
}

} // namespace

QString DatabaseLocation::userDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/varnolt");
}

bool DatabaseLocation::makePrivate(const QString &path)
{
    // By name, not through a descriptor of its own: closing any descriptor of the database
    // file would drop the record locks SQLite holds on it in this process.
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return errno == ENOENT;
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        return true;
    return ::chmod(name.constData(), status.st_mode & S_IRWXU) == 0;
}

QString DatabaseLocation::resolve(const QString &programFolder, const QString &dataFolder)
{
    const QString own = QDir(dataFolder).filePath(QLatin1String(FileName));
    const QString found = locate(programFolder, dataFolder);
    if (!found.isEmpty()) {
        // A data folder made by an older copy has the umask's mode.
        if (found == own)
            (void)makePrivate(dataFolder);
        return found;
    }

    const QString beside = QDir(programFolder).filePath(QLatin1String(FileName));
    if (!QFileInfo::exists(beside)) {
        m_error = QStringLiteral("The database %1 does not exist.").arg(beside);
        return {};
    }
    // An existing data folder without the database is the user's too.
    if (!makeFolders(dataFolder) || !makePrivate(dataFolder) || !seed(beside, own)) {
        m_error = QStringLiteral("Could not copy the empty database to %1.").arg(own);
        return {};
    }
    m_error.clear();
    return own;
}

QString DatabaseLocation::locate(const QString &programFolder, const QString &dataFolder)
{
    const QString beside = QDir(programFolder).filePath(QLatin1String(FileName));
    if (QFileInfo::exists(beside) && writable(beside) && writable(programFolder))
        return beside;
    const QString own = QDir(dataFolder).filePath(QLatin1String(FileName));
    if (QFileInfo::exists(own))
        return own;
    m_error = QStringLiteral("The database %1 does not exist.").arg(own);
    return {};
}
