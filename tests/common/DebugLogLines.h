// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QStringList>

// The debug log's lines as designed: a stamped line (date and time first) from the ": " that
// follows its stamp, an unstamped line whole.
inline QStringList debugLogLines(const QString &path)
{
    QFile file(path);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().trimmed().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        const qsizetype stamp = text.indexOf(QLatin1String(": "));
        lines << (!text.isEmpty() && text.front().isDigit() && stamp > 0 ? text.mid(stamp) : text);
    }
    return lines;
}
