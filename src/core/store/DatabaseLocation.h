// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program's database lives. The program folder is the first choice, so a build
// runs on the Varnolt.db beside it; an installed copy in a folder the user cannot write
// keeps its data in $XDG_DATA_HOME/varnolt/, seeded once from the empty database that
// ships beside the program. The data folder is owner-only (0700) and the user's copy 0600,
// whatever the umask.
class DatabaseLocation final
{
public:
    static constexpr const char *FileName = "Varnolt.db";

    // programFolder: the executable's folder; dataFolder: the per-user data folder
    // (normally $XDG_DATA_HOME/varnolt). Empty with errorString() set when neither works.
    [[nodiscard]] QString resolve(const QString &programFolder, const QString &dataFolder);
    // The file resolve() would give, without seeding one: for tools that only read the log.
    // Empty with errorString() set when there is none yet.
    [[nodiscard]] QString locate(const QString &programFolder, const QString &dataFolder);
    QString errorString() const { return m_error; }

    // $XDG_DATA_HOME/varnolt, or ~/.local/share/varnolt.
    static QString userDataFolder();

    // Takes the group's and others' permissions off a file or folder the user owns (0644
    // becomes 0600, 0755 becomes 0700); what another user owns is left alone. True when
    // nothing had to change, the path does not exist, or the change was made.
    static bool makePrivate(const QString &path);

private:
    QString m_error;
};
