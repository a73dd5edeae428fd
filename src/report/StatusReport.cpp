// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/StatusReport.h"

#include "core/traffic/AllowanceStatus.h"
#include "report/ReportSource.h"

std::optional<StatusData> StatusReport::make(ReportSource &source, const Clock &clock, QString &error)
{
    return AllowanceStatus::read(
        source.session(), source.databasePath(), source.settings(), clock, source.openRow(), error);
}
