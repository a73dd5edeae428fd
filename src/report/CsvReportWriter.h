// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportWriter.h"

// CSV as the program's export writes it: numbers truncated to two decimals with "." whatever
// the locale (CsvExport::exportNumber), CR LF after every line, UTF-8 without a byte order mark.
class CsvReportWriter final : public ReportWriter
{
public:
    QByteArray periods(const PeriodTable &table) const override;
    QByteArray status(const StatusData &status) const override;
};
