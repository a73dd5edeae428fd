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

} // namespace AppTexts
