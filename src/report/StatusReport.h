// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportData.h"

#include <optional>

class Clock;
class ReportSource;

// The allowance's status (core/traffic/AllowanceStatus) on the report's connection.
class StatusReport final
{
public:
    static std::optional<StatusData> make(ReportSource &source, const Clock &clock, QString &error);
};
