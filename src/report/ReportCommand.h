// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class Clock;

// The whole command: the arguments in, the report's bytes and the exit status out.
class ReportCommand final
{
public:
    enum ExitStatus { Success = 0, DatabaseFailed = 1, WrongUse = 2 };

    // programFolder: where the program and its database are looked for first, as Varnolt does.
    ReportCommand(const Clock &clock, QString programFolder);

    // arguments: the program's name first. out receives the report (or the help); error, on
    // failure, one line for stderr.
    int run(const QStringList &arguments, QByteArray &out, QString &error);

private:
    // The report into the file, whole or not at all, with those permission bits (-1: the
    // replaced file's, else private to the user).
    static bool writeFile(const QString &path, int mode, const QByteArray &bytes, QString &error);

    const Clock &m_clock;
    QString m_programFolder;
};
