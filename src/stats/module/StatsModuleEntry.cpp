// SPDX-License-Identifier: GPL-3.0-or-later
// The one symbol the statistics module shows the program.
#include "stats/StatsModule.h"

extern "C" Q_DECL_EXPORT FrmStats *varnolt_stats_window(const FrmStats::Parts &parts, const StatsModule::Links &links)
{
    return StatsModule::make(parts, links);
}
