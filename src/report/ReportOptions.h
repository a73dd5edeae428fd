// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for: a period table, the allowance's status or the metrics, in
// one format, on the standard output or into a file.
struct ReportOptions
{
    enum class Format { Text, Csv, Json };

    QString command = QStringLiteral("month"); // day, week, month, year, status or metrics
    Format format = Format::Text;
    QString databasePath; // empty: where the program keeps it
    int limit = 0; // at most this many periods; 0: the statistics window's newest page (or all from since)
    QDate since; // valid: from the period holding this day on
    QString outputPath; // empty: the standard output
    int outputMode = -1; // the file's permission bits; -1: an existing file's, else 0600
    bool help = false;
    bool version = false;

    // The view of the statistics window the command names (0 to 3); -1 for status and metrics.
    int view() const;

    // Parses the arguments (the program's name first). Nothing, with error, on a wrong use.
    static std::optional<ReportOptions> parse(const QStringList &arguments, QString &error);
    static QString helpText();
};
