// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportCommand.h"

#include "core/store/DatabaseLocation.h"
#include "report/PeriodReport.h"
#include "report/ReportOptions.h"
#include "report/ReportSource.h"
#include "report/ReportWriter.h"
#include "report/StatusReport.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

ReportCommand::ReportCommand(const Clock &clock, QString programFolder)
    : m_clock(clock)
    , m_programFolder(std::move(programFolder))
{
}

int ReportCommand::run(const QStringList &arguments, QByteArray &out, QString &error)
{
    const std::optional<ReportOptions> options = ReportOptions::parse(arguments, error);
    if (!options)
        return WrongUse;
    if (options->help) {
        out = ReportOptions::helpText().toUtf8();
        if (!out.endsWith('\n'))
            out += '\n';
        return Success;
    }
    if (options->version) {
        out = u"varnolt-report %1\n"_s.arg(QStringLiteral(VARNOLT_VERSION)).toUtf8();
        return Success;
    }

    QString path = options->databasePath;
    if (path.isEmpty()) {
        // Never the seeding resolve(): a report makes no database where there was none.
        DatabaseLocation location;
        path = location.locate(m_programFolder, DatabaseLocation::userDataFolder());
        if (path.isEmpty()) {
            error = location.errorString();
            return DatabaseFailed;
        }
    }
    ReportSource source(path);
    if (!source.open()) {
        error = source.errorString();
        return DatabaseFailed;
    }
    const std::unique_ptr<ReportWriter> writer = ReportWriter::create(options->format);
    if (options->view() < 0) {
        const std::optional<StatusData> status = StatusReport::make(source, m_clock, error);
        if (!status)
            return DatabaseFailed;
        out = writer->status(*status);
    } else {
        const std::optional<PeriodTable> table
            = PeriodReport::make(source, m_clock, options->view(), options->limit, error);
        if (!table)
            return DatabaseFailed;
        out = writer->periods(*table);
    }
    return Success;
}
