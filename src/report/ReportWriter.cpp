// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportWriter.h"

#include "report/CsvReportWriter.h"
#include "report/JsonReportWriter.h"
#include "report/TextReportWriter.h"

std::unique_ptr<ReportWriter> ReportWriter::create(ReportOptions::Format format)
{
    switch (format) {
    case ReportOptions::Format::Csv:
        return std::make_unique<CsvReportWriter>();
    case ReportOptions::Format::Json:
        return std::make_unique<JsonReportWriter>();
    case ReportOptions::Format::Text:
        break;
    }
    return std::make_unique<TextReportWriter>();
}

QString ReportWriter::isoDate(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return {};
    return dateTime.toOffsetFromUtc(dateTime.offsetFromUtc()).toString(Qt::ISODate);
}
