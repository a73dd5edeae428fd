#include "core/store/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

// SQLite writes a journal beside the file, so the folder must be writable too. Asked with
// the effective identity, the one that opens the file.
bool writable(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

} // namespace

QString DatabaseLocation::userDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/varnolt");
}

QString DatabaseLocation::resolve(const QString &programFolder, const QString &dataFolder)
{
    const QString found = locate(programFolder, dataFolder);
    if (!found.isEmpty())
        return found;

    const QString beside = QDir(programFolder).filePath(QLatin1String(FileName));
    const QString own = QDir(dataFolder).filePath(QLatin1String(FileName));
    if (!QFileInfo::exists(beside)) {
        m_error = QStringLiteral("The database %1 does not exist.").arg(beside);
        return {};
    }
    if (!QDir().mkpath(dataFolder) || !QFile::copy(beside, own)) {
        m_error = QStringLiteral("Could not copy the empty database to %1.").arg(own);
        return {};
    }
    // The shipped file may be read-only; the user's copy must not be.
    QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
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
