// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

class Clock;

// The diagnostic log that a user turns on with the command line "/debug". Lines are
// appended to a plain text file, each ended by CR LF; most carry the date and time in the
// user's locale in front. The file is the user's alone (0600). A log that cannot be opened
// is skipped silently: tracing must never stop what it traces.
class DebugLog final
{
public:
    DebugLog(bool enabled, QString path, const Clock &clock);

    // True only when the whole argument list (without the program name) is exactly "/debug".
    static bool switchGiven(const QStringList &arguments);
    // ~/varnolt.log
    static QString defaultPath();

    bool isEnabled() const { return m_enabled; }
    QString path() const { return m_path; }

    // Appends date-time + message; messages start with ": ".
    void write(const QString &message) const;
    void writeUnstamped(const QString &message) const;

    // One opening of the file for several lines, as the traffic log writer keeps it.
    class Batch final
    {
    public:
        explicit Batch(const DebugLog &log);
        void write(const QString &message);
        void writeUnstamped(const QString &message);

    private:
        const DebugLog &m_log;
        QFile m_file;
    };

    // The user's short date, a space and the long time, as the line stamp shows them.
    static QString stamp(const QDateTime &dateTime);

private:
    void append(QFile &file, const QString &line) const;
    QString stamped(const QString &message) const;

    bool m_enabled;
    QString m_path;
    const Clock &m_clock;
};
