// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ExportTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ExportTarget ExportTarget::resolve(const QString &path)
{
    ExportTarget target;
    target.given = path;
    const auto result = [&target](State state, const QString &reason = {}) {
        target.state = state;
        target.reason = reason;
        return target;
    };
    if (path.isEmpty())
        return result(State::CannotMake, u"No file name was given."_s);
    const QString absolute = QDir::isAbsolutePath(path) ? path : QDir::currentPath() + u'/' + path;
    const qsizetype slash = absolute.lastIndexOf(u'/');
    const QString name = absolute.mid(slash + 1);
    const QString folder = slash == 0 ? u"/"_s : absolute.left(slash);
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return result(State::CannotMake, u"%1 names a folder, not a file."_s.arg(path));

    const uid_t me = ::geteuid();
    struct stat st {};
    bool throughLink = false;
    if (::lstat(QFile::encodeName(absolute).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Such a link in a folder others may write to can be a trap laid for the user.
        if (st.st_uid != me)
            return result(State::Refused, u"%1 is a link made by another user."_s.arg(path));
        target.path = QFileInfo(absolute).canonicalFilePath();
        if (target.path.isEmpty())
            return result(State::Refused,
                u"%1 is a link to %2, which does not exist."_s.arg(path, QFileInfo(absolute).symLinkTarget()));
        throughLink = true;
    } else {
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (realFolder.isEmpty())
            return result(State::CannotMake, u"Cannot create %1: the folder %2 does not exist."_s.arg(path, folder));
        throughLink = realFolder != QDir::cleanPath(folder);
        target.path = realFolder.endsWith(u'/') ? QString(realFolder + name) : QString(realFolder + u'/' + name);
    }

    const QFileInfo real(target.path);
    if (::stat(QFile::encodeName(real.path()).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return result(State::CannotMake, u"The folder %1 cannot be used: %2"_s.arg(real.path(), systemError()));
    if (throughLink && st.st_uid != me)
        return result(State::Refused, u"%1 leads to %2, in a folder of another user."_s.arg(path, target.path));
    target.folderDevice = st.st_dev;
    target.folderInode = st.st_ino;

    if (::lstat(QFile::encodeName(target.path).constData(), &st) != 0) {
        if (errno == ENOENT)
            return result(State::Free);
        return result(State::CannotMake, u"Cannot create %1: %2"_s.arg(target.path, systemError()));
    }
    if (!S_ISREG(st.st_mode))
        return result(State::CannotMake, u"%1 is not a file."_s.arg(target.path));
    if (st.st_uid != me)
        return result(State::Refused, u"%1 belongs to another user."_s.arg(target.path));
    target.fileDevice = st.st_dev;
    target.fileInode = st.st_ino;
    return result(State::Exists);
}

QString ExportTarget::numberedName(const QString &path, int n)
{
    if (n < 2)
        return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : u"."_s + info.suffix();
    return info.path() + u'/' + info.completeBaseName() + u" (%1)"_s.arg(n) + suffix;
}
