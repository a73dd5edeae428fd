// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportWriter.h"

// A table for a terminal: columns aligned, numbers in the user's locale.
class TextReportWriter final : public ReportWriter
{
public:
    QByteArray periods(const PeriodTable &table) const override;
    QByteArray status(const StatusData &status) const override;

    // A value with 3 decimals, rounded as the statistics window rounds (halves to even), with
    // the locale's separators: "1,234.500" under en_US, "1.234,500" under de_DE.
    static QString number(double value, int decimals = 3);
};
