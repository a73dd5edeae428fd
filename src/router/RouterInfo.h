// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A router on the local network as the user picks it: where its description is and the name
// it gives itself.
struct RouterInfo
{
    QString descriptionUrl; // http://…/rootDesc.xml
    QString friendlyName;

    // A name from the network fit to be shown on one line: control characters and line breaks
    // become spaces, runs of spaces one, and a name longer than most characters ends in "…".
    static QString shownName(const QString &name, qsizetype most);
};
