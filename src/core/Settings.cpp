// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Settings.h"

#include <QDir>

// Before any export the field offers the same name that browsing and the fallback give.
Settings::Settings()
    : exportFolder(QDir::homePath() + QLatin1String("/Varnolt.csv"))
{
}

void Settings::stepDblClick()
{
    m_dblClickState = (m_dblClickState + 1) % 3;
}

void Settings::stepDblClickTo(int target)
{
    if (target < MonitorWindow || target > MiniMonitor)
        return;
    while (m_dblClickState != target)
        stepDblClick();
}

QString Settings::dblClickCaption(int state)
{
    switch (state) {
    case ChartWindow:
        return QStringLiteral("DblClick on Systray Icon : 'Chart Window'");
    case MiniMonitor:
        return QStringLiteral("DblClick on Systray Icon : 'Mini Monitor'");
    default:
        return QStringLiteral("DblClick on Systray Icon : 'Monitor Window'");
    }
}

QStringList Settings::periodTypeItems()
{
    return {QStringLiteral("Day(s)"), QStringLiteral("Week(s)"), QStringLiteral("Month(s)-d/mm")};
}

QStringList Settings::transparencyItems()
{
    return {QStringLiteral("0"), QStringLiteral("25"), QStringLiteral("50"), QStringLiteral("75")};
}

QList<QPair<QString, QString>> Settings::storedValues() const
{
    const auto number = [](int value) { return QString::number(value); };
    return {
        {QStringLiteral("DblClick"), number(m_dblClickState)},
        {QStringLiteral("kilobit"), number(kilobitState)},
        {QStringLiteral("whatsleft"), number(whatsLeftState)},
        {QStringLiteral("logperiod"), periodLengthText},
        {QStringLiteral("logperiodtype"), number(periodTypeIndex)},
        {QStringLiteral("maxmbsize"), maxMBText},
        {QStringLiteral("MonitorTrans"), number(monitorTransIndex)},
        {QStringLiteral("logstartday"), startDayText},
        {QStringLiteral("Playwav"), number(playWavState)},
        {QStringLiteral("RouterURL"), routerUrl},
        {QStringLiteral("RouterName"), routerName},
        {QStringLiteral("Notify"), number(notifyState)},
    };
}
