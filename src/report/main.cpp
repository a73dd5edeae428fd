// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Clock.h"
#include "report/ReportCommand.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnolt-report"));
    QCoreApplication::setOrganizationName(QStringLiteral("Varnolt"));

    SystemClock clock;
    ReportCommand command(clock, QCoreApplication::applicationDirPath());
    QByteArray out;
    QString error;
    const int status = command.run(QCoreApplication::arguments(), out, error);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    if (!error.isEmpty())
        std::fprintf(stderr, "varnolt-report: %s\n", qPrintable(error));
    return status;
}
