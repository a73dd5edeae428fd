// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportWriter.h"

// One JSON document: numbers as numbers (unrounded), dates in ISO 8601 with their UTC offset,
// the unit in each key ("download_gb"); each period with its window label and its first and
// last day ("start": "2026-12-01", "end": "2026-12-31").
class JsonReportWriter final : public ReportWriter
{
public:
    QByteArray periods(const PeriodTable &table) const override;
    QByteArray status(const StatusData &status) const override;
};
