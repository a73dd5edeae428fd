// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the statistics window shows, as the user last confirmed it with OK: flat or 3D, the
// chart's kind, the view and stacking. Kept in the per-user settings (QSettings, organisation
// and application "Varnolt", group "Chart"); a value outside its list gives the default.
struct ChartChoices
{
    enum Kind { Area = 0, Line = 1, Bars = 2 };

    int dimensions = 0; // 0 "3D", 1 "2D"
    int kind = Area;
    int view = 0; // the statistics view, 0 "Volume Per Day (MB)" to 7
    int stacked = 0; // 0 or 1

    static ChartChoices load();
    // Writes the four keys in their order; a list without a choice (-1) is stored as -1.
    void save() const;
};
