// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where an export would go, found before anything is written, so that the dialog can ask
// about the file that would really be replaced and refuse what it must not touch.
struct ExportTarget
{
    enum class State {
        Free, // no file of that name yet: a new one is made
        Exists, // a regular file of the user's: replaced only once the user said yes
        CannotMake, // no file can be made there (missing folder, a folder, a refused name)
        Refused, // another user's file, or a link into another user's folder or made by another user
    };
    State state = State::CannotMake;
    QString given; // the path as typed (trimmed by the caller), or the fallback name chosen
    QString path; // the real file: absolute, every link resolved, in its own case
    QString reason; // why it cannot be made or is refused, naming the files
    quint64 folderDevice = 0, folderInode = 0; // the real folder, as checked
    quint64 fileDevice = 0, fileInode = 0; // the file that exists there, as checked

    // What writing to path would do. A symbolic link is resolved to the file it names; it is
    // refused when another user made it or when it leads into a folder that is not the user's.
    // A file that exists and belongs to someone else is refused too.
    static ExportTarget resolve(const QString &path);
    // "/home/jan/Varnolt.csv" with n = 2: "/home/jan/Varnolt (2).csv"; path itself below 2.
    static QString numberedName(const QString &path, int n);
};
