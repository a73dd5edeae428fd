// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

// What a file holds, or a mark that it cannot be read.
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot be read)");
}

// Every entry under the folders, links not followed: owner, mode, and the bytes or the link's
// target. Two snapshots differ only where something was written, moved or changed mode.
inline QMap<QString, QByteArray> folderSnapshot(const QStringList &folders)
{
    QMap<QString, QByteArray> state;
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            struct stat st {};
            ::lstat(QFile::encodeName(info.filePath()).constData(), &st);
            QByteArray entry = QByteArray::number(st.st_uid) + ' ' + QByteArray::number(st.st_mode, 8) + ' ';
            if (info.isSymLink())
                entry += "-> " + info.symLinkTarget().toUtf8();
            else if (info.isFile())
                entry += fileContents(info.filePath());
            state.insert(info.filePath(), entry);
        }
    }
    return state;
}
