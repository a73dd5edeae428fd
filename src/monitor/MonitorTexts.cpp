// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorTexts.h"

#include "router/RouterInfo.h"

#include <QLocale>

namespace MonitorTexts {

QString number(double x, int decimals)
{
    // A default-constructed QLocale shares the default's data (about 50 ns, a fifth of the
    // text itself), so it follows QLocale::setDefault with nothing kept.
    return QLocale().toString(x, 'f', decimals);
}

QString volume(double bytes)
{
    if (bytes < 1048576.0)
        return number(bytes / 1024.0, 1) + QLatin1String(" KB");
    return number(bytes / 1048576.0, 2) + QLatin1String(" MB");
}

QString rateUnit(bool kilobit)
{
    return kilobit ? QStringLiteral(" Kbps.") : QStringLiteral(" kBps.");
}

QString cutRateLine(const QString &line)
{
    if (line.size() <= RateLineLimit)
        return line;
    const qsizetype max = line.indexOf(QLatin1String("- Max:"));
    if (max < 1)
        return line;
    return line.left(max - 1) + QLatin1Char(')');
}

QString expandedCaption(const QString &volumeText)
{
    if (volumeText.size() > ShortCaption)
        return volumeText;
    return volumeText + QStringLiteral(" - Varnolt %1.%2").arg(VARNOLT_VERSION_MAJOR).arg(VARNOLT_VERSION_MINOR);
}

QString collapsedCaption(const QString &status, const QString &volumeLeft)
{
    // Without an allowance, or with the allowance used up, there is no percentage to drop:
    // the volume-left text is shown as it is.
    const qsizetype percentage = volumeLeft.indexOf(QLatin1Char('('));
    if (volumeLeft.isEmpty())
        return status;
    if (percentage < 0)
        return status + QLatin1String(" - ") + volumeLeft;
    return status + QLatin1String(" - ") + volumeLeft.left(percentage) + QLatin1String("Left.");
}

QString graphToolTip(int max, bool kilobit)
{
    if (kilobit)
        return QLatin1String("Graph Max: ") + number(max * KbpsFactor, 0);
    return QLatin1String("Graph Max: ") + QString::number(max);
}

QString routerLine(const QString &name, const QDateTime &silentSince, const QDateTime &now)
{
    // The name is the router's own word: control characters and line breaks would break the
    // line, and a name of any length would push the window wide.
    QString line = QLatin1String("Router: ") + RouterInfo::shownName(name, RouterNameLength);
    if (!silentSince.isValid())
        return line;
    const QDateTime since = silentSince.toLocalTime();
    const QString format
        = since.date() == now.toLocalTime().date() ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm");
    return line + QLatin1String(" not answering since ") + since.toString(format);
}

} // namespace MonitorTexts
