// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportCommand.h"

#include "core/store/DatabaseLocation.h"
#include "report/MetricsReport.h"
#include "report/OpenMetricsWriter.h"
#include "report/PeriodReport.h"
#include "report/ReportOptions.h"
#include "report/ReportSource.h"
#include "report/ReportWriter.h"
#include "report/StatusReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

#include <sys/stat.h>

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
    if (options->command == u"metrics"_s) {
        const std::optional<MetricsData> metrics = MetricsReport::make(source, m_clock, error);
        if (!metrics)
            return DatabaseFailed;
        out = OpenMetricsWriter::write(*metrics);
    } else if (options->view() < 0) {
        const std::optional<StatusData> status = StatusReport::make(source, m_clock, error);
        if (!status)
            return DatabaseFailed;
        out = writer->status(*status);
    } else {
        const std::optional<PeriodTable> table
            = PeriodReport::make(source, m_clock, options->view(), options->limit, error, options->since);
        if (!table)
            return DatabaseFailed;
        out = writer->periods(*table);
    }
    if (!options->outputPath.isEmpty()) {
        if (!writeFile(options->outputPath, options->outputMode, out, error))
            return DatabaseFailed;
        out.clear();
    }
    return Success;
}

bool ReportCommand::writeFile(const QString &path, int mode, const QByteArray &bytes, QString &error)
{
    // A collector reading the file while it is written sees the old report or the new one,
    // never half of one: the bytes go into a file beside it, which then replaces it.
    QSaveFile file(path);
    struct stat existing
    {
    };
    if (mode < 0)
        mode = ::stat(QFile::encodeName(path).constData(), &existing) == 0 ? int(existing.st_mode & 0777) : 0600;
    const bool ok = file.open(QIODevice::WriteOnly) && ::fchmod(file.handle(), mode_t(mode)) == 0
        && file.write(bytes) == bytes.size() && file.commit();
    if (!ok) {
        error = u"%1 could not be written: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString());
        file.cancelWriting();
    }
    return ok;
}
