// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/MetricsReport.h"

#include <QByteArray>
#include <QString>

// The metrics in the OpenMetrics text format, for node exporter's textfile collector: gauges
// only, with no sample timestamps, so that the same text is also valid in Prometheus' older
// text format, which that collector reads.
class OpenMetricsWriter final
{
public:
    static QByteArray write(const MetricsData &data);
    // A label's value between its quotes: backslash, double quote and line feed escaped,
    // the other control characters (which some readers take as line ends) replaced by U+FFFD.
    static QString labelValue(const QString &text);
    // A sample's value: whole numbers as integers, others as the shortest text read back the same.
    static QString number(double value);
};
