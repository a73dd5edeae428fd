// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportData.h"
#include "report/ReportOptions.h"

#include <QByteArray>

#include <memory>

// One output format of the report: a period table or the status, as the bytes to print.
class ReportWriter
{
public:
    virtual ~ReportWriter() = default;
    virtual QByteArray periods(const PeriodTable &table) const = 0;
    virtual QByteArray status(const StatusData &status) const = 0;

    static std::unique_ptr<ReportWriter> create(ReportOptions::Format format);
    // A date with its offset from UTC, as ISO 8601 writes it: "2026-12-01T00:00:00+01:00".
    static QString isoDate(const QDateTime &dateTime);
};
