// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeClock.h"

#include "core/DatabaseStartup.h"
#include "core/DebugLog.h"
#include "core/Settings.h"

// A start-up of the database at dbPath with a fake clock, writing the debug log to logPath
// when one is given.
struct StartupRun
{
    explicit StartupRun(
        const QString &dbPath, const QString &logPath = QString(), const QDateTime &now = FakeClock().now())
        : clock(now)
        , log(!logPath.isEmpty(), logPath, clock)
        , startup(dbPath, clock, log, settings)
    {
    }

    FakeClock clock;
    DebugLog log;
    Settings settings;
    DatabaseStartup startup;
};
