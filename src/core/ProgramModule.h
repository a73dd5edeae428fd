// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A module of the program's own, a shared object next to the program (the statistics window
// with Qt Charts, the warning sounds with Qt Multimedia), loaded the first time it is needed so
// that a run in the tray never maps the libraries behind it. A loaded module stays loaded for
// the run: what it made lives in its code.
namespace ProgramModule {

// The function the module exports as `symbol`, from `<folder>/<file>.so`; null, with the
// loader's reason in `error`, when the module is missing, broken or lacks it.
void *resolve(const QString &folder, const char *file, const char *symbol, QString &error);

} // namespace ProgramModule
