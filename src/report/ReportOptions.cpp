// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

const QStringList Commands {u"day"_s, u"week"_s, u"month"_s, u"year"_s, u"status"_s, u"metrics"_s};

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption json {u"json"_s, u"One JSON document."_s};
    QCommandLineOption csv {u"csv"_s, u"CSV in the format of the program's export."_s};
    QCommandLineOption database {u"database"_s, u"The database file (default: the program's own)."_s, u"path"_s};
    QCommandLineOption limit {u"limit"_s,
        u"The newest N periods, as many as the log holds (without it: the statistics window's 15 days or "
        "12 periods); with --since, the first N from there."_s,
        u"N"_s};
    QCommandLineOption since {u"since"_s,
        u"From the period holding DATE (yyyy-mm-dd) to the newest; a week starts on its Monday."_s, u"DATE"_s};
    QCommandLineOption output {
        u"output"_s, u"Write the report into FILE, whole or not at all (a file beside it, then renamed)."_s, u"FILE"_s};
    QCommandLineOption mode {u"mode"_s,
        u"The permissions of the --output file, in octal (0644 for a collector running as another user; "
        "default: those of the file it replaces, else 0600)."_s,
        u"MODE"_s};
    QCommandLineOption help {{u"h"_s, u"help"_s}, u"Displays help on commandline options."_s};
    QCommandLineOption version {{u"v"_s, u"version"_s}, u"Displays version information."_s};

    Parser()
    {
        parser.setApplicationDescription(
            u"Varnolt's traffic log in a terminal: the volume per day, week, month or year, as the statistics "
            "window shows it, the allowance and its forecast (status), or the current periods and the allowance "
            "as OpenMetrics text for Prometheus' node exporter (metrics)."_s);
        parser.addOptions({json, csv, database, limit, since, output, mode, help, version});
        parser.addPositionalArgument(u"command"_s, u"day, week, month (the default), year, status or metrics."_s,
            u"[day|week|month|year|status|metrics]"_s);
    }
};

} // namespace

int ReportOptions::view() const
{
    const int index = int(Commands.indexOf(command));
    return index < 4 ? index : -1;
}

QString ReportOptions::helpText()
{
    return Parser().parser.helpText();
}

std::optional<ReportOptions> ReportOptions::parse(const QStringList &arguments, QString &error)
{
    Parser p;
    if (!p.parser.parse(arguments)) {
        error = p.parser.errorText();
        return std::nullopt;
    }
    ReportOptions options;
    options.help = p.parser.isSet(p.help);
    options.version = p.parser.isSet(p.version);
    const QStringList positional = p.parser.positionalArguments();
    if (positional.size() > 1) {
        error = u"Give one command, not %1."_s.arg(positional.join(u' '));
        return std::nullopt;
    }
    if (!positional.isEmpty()) {
        options.command = positional.first().toLower();
        if (!Commands.contains(options.command)) {
            error = u"Unknown command \"%1\"; use day, week, month, year, status or metrics."_s.arg(positional.first());
            return std::nullopt;
        }
    }
    if (p.parser.isSet(p.json) && p.parser.isSet(p.csv)) {
        error = u"Choose --json or --csv, not both."_s;
        return std::nullopt;
    }
    options.format = p.parser.isSet(p.json) ? Format::Json : p.parser.isSet(p.csv) ? Format::Csv : Format::Text;
    if (options.command == u"metrics"_s
        && (p.parser.isSet(p.json) || p.parser.isSet(p.csv) || p.parser.isSet(p.limit) || p.parser.isSet(p.since))) {
        error = u"metrics has one format and the current periods only: no --json, --csv, --limit or --since."_s;
        return std::nullopt;
    }
    options.databasePath = p.parser.value(p.database);
    options.outputPath = p.parser.value(p.output);
    if (p.parser.isSet(p.output) && options.outputPath.isEmpty()) {
        error = u"--output takes a file name."_s;
        return std::nullopt;
    }
    if (p.parser.isSet(p.mode)) {
        bool ok = false;
        options.outputMode = p.parser.value(p.mode).toInt(&ok, 8);
        if (!ok || options.outputMode < 0 || options.outputMode > 0777 || options.outputPath.isEmpty()) {
            error = u"--mode takes octal permissions from 0 to 0777, with --output, not \"%1\"."_s.arg(
                p.parser.value(p.mode));
            return std::nullopt;
        }
    }
    if (p.parser.isSet(p.limit)) {
        bool ok = false;
        options.limit = p.parser.value(p.limit).toInt(&ok);
        if (!ok || options.limit < 1) {
            error = u"--limit takes a whole number of at least 1, not \"%1\"."_s.arg(p.parser.value(p.limit));
            return std::nullopt;
        }
    }
    if (p.parser.isSet(p.since)) {
        // A calendar date written out in full: 2026-02-30 or 2026-2-3 is a mistake, not a guess.
        const QString text = p.parser.value(p.since);
        options.since = QDate::fromString(text, u"yyyy-MM-dd"_s);
        if (!options.since.isValid()) {
            error = u"--since takes a date as yyyy-mm-dd (2026-12-01), not \"%1\"."_s.arg(text);
            return std::nullopt;
        }
        if (options.view() < 0) {
            error = u"--since is for day, week, month and year."_s;
            return std::nullopt;
        }
    }
    return options;
}
