// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ExportFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sameFile(const struct stat &st, quint64 device, quint64 inode)
{
    return quint64(st.st_dev) == device && quint64(st.st_ino) == inode;
}

} // namespace

ExportFile::Opened ExportFile::open(const ExportTarget &target, QString &error)
{
    m_path = target.path;
    const QFileInfo real(target.path);
    m_name = QFile::encodeName(real.fileName());
    // The folder was there when it was checked; anything else at its path now (a link to
    // elsewhere included: O_NOFOLLOW) is not the folder the user chose.
    m_folder = ::open(QFile::encodeName(real.path()).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (m_folder < 0 || ::fstat(m_folder, &st) != 0 || !sameFile(st, target.folderDevice, target.folderInode)) {
        error = u"The folder %1 was replaced after it was checked."_s.arg(real.path());
        return Opened::Changed;
    }

    mode_t mode = S_IRUSR | S_IWUSR;
    gid_t group = gid_t(-1);
    if (target.state == ExportTarget::State::Exists) {
        if (::fstatat(m_folder, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != ::geteuid() || !sameFile(st, target.fileDevice, target.fileInode)) {
            error = u"%1 was replaced after it was checked."_s.arg(target.path);
            return Opened::Changed;
        }
        // The user's own file keeps who may read it; never a set-id bit.
        mode = st.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
        group = st.st_gid;
    } else {
        // Holding the name at once: O_EXCL makes it here or fails, and never follows a link.
        // It also meets a name the file system refuses now, before the query, not at the rename.
        const int placeholder = ::openat(
            m_folder, m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (placeholder < 0) {
            const int cause = errno;
            error = u"Cannot create %1: %2"_s.arg(target.path, systemError(cause));
            return cause == EEXIST ? Opened::NameTaken : Opened::CannotMake;
        }
        m_holdsName = true;
        const bool known = ::fstat(placeholder, &st) == 0;
        ::close(placeholder);
        if (!known) {
            error = u"Cannot create %1: %2"_s.arg(target.path, systemError());
            return Opened::CannotMake;
        }
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;

    for (int attempt = 0; attempt < 100 && m_file < 0; ++attempt) {
        m_temporary = ".Varnolt-export." + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        m_file = ::openat(
            m_folder, m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (m_file < 0 && errno != EEXIST)
            break;
    }
    if (m_file < 0) {
        error = u"Cannot create a file in %1: %2"_s.arg(real.path(), systemError());
        m_temporary.clear();
        return Opened::CannotMake;
    }
    // The file's group decides who the group bits let in: where it cannot stay the old
    // file's, those bits go.
    if (group != gid_t(-1) && ::fchown(m_file, uid_t(-1), group) != 0)
        mode &= ~S_IRWXG;
    if (::fchmod(m_file, mode) != 0) {
        error = u"Cannot set the permissions of %1: %2"_s.arg(target.path, systemError());
        return Opened::CannotMake;
    }
    return Opened::Yes;
}

bool ExportFile::stillTheTarget() const
{
    struct stat st {};
    return ::fstatat(m_folder, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
        && sameFile(st, m_device, m_inode);
}

bool ExportFile::commit(QString &error)
{
    if (::fsync(m_file) != 0 || ::close(std::exchange(m_file, -1)) != 0) {
        error = u"Cannot write %1: %2"_s.arg(m_path, systemError());
        return false;
    }
    // rename() replaces whatever has the name, a link included, without following it; the
    // check narrows that to the file the user agreed to.
    if (!stillTheTarget()) {
        error = u"%1 was replaced while the export was written."_s.arg(m_path);
        m_holdsName = false; // no longer ours
        return false;
    }
    if (::renameat(m_folder, m_temporary.constData(), m_folder, m_name.constData()) != 0) {
        error = u"Cannot write %1: %2"_s.arg(m_path, systemError());
        return false;
    }
    m_temporary.clear();
    m_holdsName = false;
    return true;
}

void ExportFile::discard()
{
    if (m_file >= 0)
        ::close(std::exchange(m_file, -1));
    if (m_folder < 0)
        return;
    if (!m_temporary.isEmpty())
        ::unlinkat(m_folder, m_temporary.constData(), 0);
    if (m_holdsName && stillTheTarget())
        ::unlinkat(m_folder, m_name.constData(), 0);
    ::close(std::exchange(m_folder, -1));
}
