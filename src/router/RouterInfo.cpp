// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterInfo.h"

QString RouterInfo::shownName(const QString &name, qsizetype most)
{
    QString shown;
    for (const QChar c : name)
        shown += c.isPrint() ? c : QChar(u' ');
    shown = shown.simplified();
    if (shown.size() > most)
        shown = shown.left(most - 1) + QChar(0x2026);
    return shown;
}
