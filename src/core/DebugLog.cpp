// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DebugLog.h"

#include "core/Clock.h"

#include <QDir>
#include <QLocale>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The log holds the times and bytes of every row: it is made owner-only (0600) whatever the
// umask, and a log an older copy made readable by others is tightened when next written.
bool openPrivate(QFile &file)
{
    if (!file.open(QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    struct stat status {};
    if (::fstat(file.handle(), &status) == 0 && status.st_uid == ::geteuid()
        && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        (void)::fchmod(file.handle(), status.st_mode & S_IRWXU);
    return true;
}

} // namespace

DebugLog::DebugLog(bool enabled, QString path, const Clock &clock)
    : m_enabled(enabled)
    , m_path(std::move(path))
    , m_clock(clock)
{
}

bool DebugLog::switchGiven(const QStringList &arguments)
{
    return arguments.size() == 1 && arguments.first() == QLatin1String("/debug");
}

QString DebugLog::defaultPath()
{
    return QDir::homePath() + QLatin1String("/varnolt.log");
}

QString DebugLog::stamp(const QDateTime &dateTime)
{
    const QLocale locale;
    // Qt's long time format names the time zone; the stamp shows the clock time only.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(dateTime.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(dateTime.time(), timeFormat.trimmed());
}

QString DebugLog::stamped(const QString &message) const
{
    return stamp(m_clock.now()) + message;
}

void DebugLog::append(QFile &file, const QString &line) const
{
    if (file.isOpen())
        file.write((line + QLatin1String("\r\n")).toUtf8());
}

void DebugLog::write(const QString &message) const
{
    if (m_enabled)
        writeUnstamped(stamped(message));
}

void DebugLog::writeUnstamped(const QString &message) const
{
    if (!m_enabled)
        return;
    QFile file(m_path);
    if (openPrivate(file))
        append(file, message);
}

DebugLog::Batch::Batch(const DebugLog &log)
    : m_log(log)
    , m_file(log.m_path)
{
    if (m_log.m_enabled)
        (void)openPrivate(m_file);
}

void DebugLog::Batch::write(const QString &message)
{
    m_log.append(m_file, m_log.stamped(message));
}

void DebugLog::Batch::writeUnstamped(const QString &message)
{
    m_log.append(m_file, message);
}
