// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CsvExport.h"

#include "core/SettingsStore.h"
#include "core/store/StoreSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

Q_LOGGING_CATEGORY(lcExport, "varnolt.export", QtInfoMsg)

constexpr char Header[] = "Period,KBDown,KBUp,AvgSpeed\r\n";

// The value truncated toward zero to two decimals. The digits truncated are those of the
// shortest decimal that reads back as the same double, i.e. the number as it was written or
// computed: 12.05 is stored as 12.0499999999999998..., and truncating its binary value (or
// (value - 12) * 100 = 4.99999...) would give 12.04. An epsilon added before truncating
// would instead push values just below a cent, like 0.9999999999, up to the next one.
// Volumes are bytes / 1024, exact in binary, so their shortest form is their exact value.
void appendExportNumber(QByteArray &out, double value)
{
    // A NULL (a view's average over rows without one) is written as 0, and so is what SQLite
    // never stores (NaN, infinities); -0 loses its sign.
    if (!std::isfinite(value) || value == 0)
        value = 0;
    char digits[400]; // the largest double has 309 digits before the point
    const char *end = std::to_chars(std::begin(digits), std::end(digits), value, std::chars_format::fixed).ptr;
    const char *point = std::find(static_cast<const char *>(digits), end, '.');
    const qsizetype start = out.size();
    out.append(digits, point - digits);
    out.append('.');
    const char *fraction = point == end ? end : point + 1;
    for (int i = 0; i < 2; ++i)
        out.append(fraction + i < end ? fraction[i] : '0');
    // Volumes are never negative; should one be, -0.001 truncates to 0.00, not -0.00.
    if (value < 0 && QByteArrayView(out).sliced(start) == "-0.00")
        out.remove(start, 1);
}

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sameFile(const struct stat &st, quint64 device, quint64 inode)
{
    return quint64(st.st_dev) == device && quint64(st.st_ino) == inode;
}

// The file an export is written to, made whole or not at all: a temporary file in the
// checked folder, renamed over the target at the end. Every call goes through the folder's
// descriptor with O_NOFOLLOW or AT_SYMLINK_NOFOLLOW, so a link planted after the check, in
// the folder or on the way to it, is never followed; and the target is renamed over only
// while it is still the very file that was checked (or the empty one made here to hold the
// name). Whatever is not committed is removed again by the destructor.
class ExportFile final
{
public:
    enum class Opened { Yes, CannotMake, NameTaken, Changed };

    ExportFile() = default;
    ~ExportFile() { discard(); }
    ExportFile(const ExportFile &) = delete;
    ExportFile &operator=(const ExportFile &) = delete;

    Opened open(const CsvExport::Target &target, QString &error);
    int handle() const { return m_file; }
    [[nodiscard]] bool commit(QString &error);

private:
    void discard();
    bool stillTheTarget() const;

    QString m_path;
    int m_folder = -1;
    int m_file = -1;
    QByteArray m_name;
    QByteArray m_temporary;
    bool m_holdsName = false; // the empty file made to keep the name is ours to remove
    quint64 m_device = 0, m_inode = 0; // what the name must still be at the rename
};

ExportFile::Opened ExportFile::open(const CsvExport::Target &target, QString &error)
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
    if (target.state == CsvExport::Target::State::Exists) {
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

// "/home/jan/Varnolt.csv" with n = 2: "/home/jan/Varnolt (2).csv".
QString numberedName(const QString &path, int n)
{
    if (n < 2)
        return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : u"."_s + info.suffix();
    return info.path() + u'/' + info.completeBaseName() + u" (%1)"_s.arg(n) + suffix;
}

} // namespace

CsvExport::CsvExport(QString databasePath)
    : m_databasePath(std::move(databasePath))
{
}

QString CsvExport::query(int view)
{
    switch (view) {
    case 0:
        return u"select * from DownloadPerday order by gdate desc"_s;
    case 1:
        return u"select * from DownloadPerWeek order by ddate desc"_s;
    case 2:
        return u"select * from DownloadPerMonth order by ddate desc"_s;
    case 3:
        return u"select * from DownloadPerYear order by ddate desc"_s;
    default:
        return {};
    }
}

bool CsvExport::write(int view, QIODevice &device)
{
    m_error.clear();
    StoreSession session(m_databasePath);
    if (!session.open())
        return fail(session.errorString());
    return write(view, device, session);
}

bool CsvExport::write(int view, QIODevice &device, StoreSession &session)
{
    const QString statement = query(view);
    if (statement.isEmpty())
        return fail(u"There is no view %1 to export."_s.arg(view));
    const std::optional<QueryResult> result = session.query(statement);
    if (!result)
        return fail(session.errorString());

    const int period = result->fieldIndex(u"ddate"_s);
    const int down = result->fieldIndex(u"kbdown"_s);
    const int up = result->fieldIndex(u"kbup"_s);
    const int speed = result->fieldIndex(u"avgdown"_s);
    if (std::min({period, down, up, speed}) < 0)
        return fail(u"The view lacks one of the columns ddate, kbdown, kbup, avgdown.\nStatement: %1"_s.arg(statement));

    QByteArray text(Header);
    text.reserve(text.size() + result->rowCount() * 48);
    for (const QVariantList &row : result->rows()) {
        text += row.at(period).toString().toUtf8();
        for (const int column : {down, up, speed}) {
            text += ',';
            appendExportNumber(text, row.at(column).toDouble());
        }
        text += "\r\n";
    }

    if (!device.isWritable())
        return fail(u"The file is not open for writing."_s);
    for (qint64 done = 0; done < text.size();) {
        const qint64 written = device.write(text.constData() + done, text.size() - done);
        if (written <= 0)
            return fail(u"Cannot write the file: %1"_s.arg(device.errorString()));
        done += written;
    }
    return true;
}

CsvExport::Target CsvExport::resolve(const QString &path)
{
    using State = Target::State;
    Target target;
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

CsvExport::Outcome CsvExport::exportTo(const Target &target, int view, const QString &fallbackPath)
{
    using State = Target::State;
    m_error.clear();
    m_usedPath = target.given;
    m_writtenFile = target.path;
    if (target.state == State::Refused) {
        fail(target.reason);
        return Outcome::Failed;
    }

    Outcome written = Outcome::Written;
    auto file = std::make_unique<ExportFile>();
    QString reason = target.reason;
    ExportFile::Opened opened = ExportFile::Opened::CannotMake;
    if (target.state != State::CannotMake)
        opened = file->open(target, reason);
    if (opened == ExportFile::Opened::Changed) {
        fail(reason);
        return Outcome::Failed;
    }
    if (opened != ExportFile::Opened::Yes) {
        // Any file of the fallback's name, a link included, is left alone: the next free
        // name is taken instead.
        written = Outcome::WrittenToFallback;
        QString fallbackReason = u"No free name beside %1."_s.arg(fallbackPath);
        opened = ExportFile::Opened::NameTaken;
        for (int n = 1; n <= 1000 && opened == ExportFile::Opened::NameTaken; ++n) {
            const Target fallback = resolve(numberedName(fallbackPath, n));
            m_usedPath = fallback.given;
            m_writtenFile = fallback.path;
            if (fallback.state != State::Free) {
                fallbackReason = fallback.reason;
                struct stat st {};
                if (::lstat(QFile::encodeName(fallback.given).constData(), &st) == 0)
                    continue; // something has that name
                opened = ExportFile::Opened::CannotMake;
                break;
            }
            file = std::make_unique<ExportFile>();
            opened = file->open(fallback, fallbackReason);
        }
        if (opened != ExportFile::Opened::Yes) {
            fail(reason + u"\n"_s + fallbackReason);
            return Outcome::Failed;
        }
        qCInfo(lcExport).noquote() << reason << "- writing" << m_writtenFile << "instead";
    }

    StoreSession session(m_databasePath);
    if (!session.open()) {
        fail(session.errorString());
        return Outcome::Failed;
    }
    QFile device;
    if (!device.open(file->handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        fail(u"Cannot write %1: %2"_s.arg(m_writtenFile, device.errorString()));
        return Outcome::Failed;
    }
    if (!write(view, device, session))
        return Outcome::Failed;
    if (!device.flush()) {
        fail(u"Cannot write %1: %2"_s.arg(m_writtenFile, device.errorString()));
        return Outcome::Failed;
    }
    device.close();
    if (!file->commit(reason)) {
        fail(reason);
        return Outcome::Failed;
    }

    // Start-up puts the path back into the dialog; the export stands when it cannot be kept.
    // Kept only now that the file is complete, the way the settings are written.
    bool stored = session.beginTransaction();
    for (const QString &statement : SettingsStore::keyStatements({{u"ExportFolder"_s, m_usedPath}}))
        stored = stored && session.execute(statement);
    stored = stored && session.commit();
    if (!stored) {
        qCWarning(lcExport).noquote() << "the export path was not stored:" << session.errorString();
        session.rollback();
    }
    return written;
}

QString CsvExport::usedPath() const
{
    return m_usedPath;
}

QString CsvExport::writtenFile() const
{
    return m_writtenFile;
}

QString CsvExport::errorString() const
{
    return m_error;
}

QString CsvExport::exportNumber(double value)
{
    QByteArray text;
    appendExportNumber(text, value);
    return QString::fromLatin1(text);
}

bool CsvExport::fail(const QString &message)
{
    m_error = message;
    qCDebug(lcExport).noquote() << message;
    return false;
}
