// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A router on the local network as the user picks it: where its description is and the name
// it gives itself.
struct RouterInfo
{
    QString descriptionUrl; // http://…/rootDesc.xml
    QString friendlyName;
};
