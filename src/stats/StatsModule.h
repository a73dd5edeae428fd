// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ProgramModule.h"
#include "stats/FrmStats.h"

#include <QCoreApplication>

#include <functional>

// The statistics window, with Qt Charts and the OpenGL libraries under it, lives in a module of
// its own (varnolt-stats, next to the program), loaded when the window is first opened: a run
// that stays in the tray never maps them. The program reaches the window only through QWidget
// and what is passed here, so that it links nothing of the module.
namespace StatsModule {

constexpr const char *FileName = "varnolt-stats";
constexpr const char *Factory = "varnolt_stats_window";

// What the window tells the rest of the program.
struct Links
{
    std::function<void()> exportRequested; // "Export": the options dialog points to it
    std::function<void()> closed;
};

// A new window (it deletes itself when closed); its refill() is invokable by name.
using Make = FrmStats *(*)(const FrmStats::Parts &parts, const Links &links);
FrmStats *make(const FrmStats::Parts &parts, const Links &links);

// The module's maker, from the program's own folder: null, with the loader's reason, when the
// module is missing or broken. Inline, for the program, which links nothing of the module.
inline Make load(QString &error)
{
    return reinterpret_cast<Make>(
        ProgramModule::resolve(QCoreApplication::applicationDirPath(), FileName, Factory, error));
}

} // namespace StatsModule
