// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ProgramModule.h"

#include <QLibrary>

namespace ProgramModule {

void *resolve(const QString &folder, const char *file, const char *symbol, QString &error)
{
    // A plain object of its own and never unloaded: QLibrary unloads only when asked to.
    QLibrary module(folder + QLatin1Char('/') + QLatin1String(file));
    void *found = reinterpret_cast<void *>(module.resolve(symbol));
    if (!found)
        error = module.errorString();
    return found;
}

} // namespace ProgramModule
