// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ExportTarget.h"

#include <QByteArray>
#include <QString>

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

    Opened open(const ExportTarget &target, QString &error);
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
