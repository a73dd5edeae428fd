// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppTexts.h"

namespace AppTexts {

QString aboutTitle()
{
    return QStringLiteral("Varnolt %1.%2").arg(VARNOLT_VERSION_MAJOR).arg(VARNOLT_VERSION_MINOR);
}

QString about()
{
    return QStringLiteral("Varnolt %1.%2 %3\n\nKeeps an eye on your downloads !\n\n"
                          "The Varnolt project, 2002 - free software under the GNU GPL, version 3 or later.")
        .arg(VARNOLT_VERSION_MAJOR)
        .arg(VARNOLT_VERSION_MINOR)
        .arg(QStringLiteral(VARNOLT_VERSION_COMMENT));
}

QString alreadyRunning()
{
    return QStringLiteral("Varnolt is already running on this database.\n"
                          "A second copy would count every byte twice, so this one ends.");
}

QString lastRowNotWritten(const QString &why, bool journaled, const QDateTime &lostFrom)
{
    const QString message = QStringLiteral("Varnolt: the last log row could not be written (%1); ").arg(why);
    if (journaled)
        return message + QStringLiteral("it is kept in the database's journal and logged at the next start.");
    // The journal could not take it either (the same lock or full disk): what it held from
    // earlier is logged at the next start, the traffic after that is lost.
    return message
        + QStringLiteral("nor its journal: the traffic since %1 is lost.")
              .arg(lostFrom.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QString statsMissing(const QString &why)
{
    return QStringLiteral("The statistics window cannot be opened: its part of the program is missing or "
                          "damaged (%1). Installing Varnolt again brings it back; the log is not affected.")
        .arg(why);
}

} // namespace AppTexts
