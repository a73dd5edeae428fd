// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats/StatsModule.h"

namespace StatsModule {

FrmStats *make(const FrmStats::Parts &parts, const Links &links)
{
    auto *window = new FrmStats(parts);
    QObject::connect(window, &FrmStats::exportRequested, window, links.exportRequested);
    QObject::connect(window, &FrmStats::closed, window, links.closed);
    return window;
}

} // namespace StatsModule
