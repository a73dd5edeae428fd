// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/TrayMenu.h"

TrayMenu::TrayMenu(QObject *parent)
    : QObject(parent)
{
    showLog = m_menu.addAction(QStringLiteral("Monitor &On"));
    showAll = m_menu.addAction(QStringLiteral("&Volume Statistics..."));
    resetCounters = m_menu.addAction(QStringLiteral("&Reset Counters"));
    options = m_menu.addAction(QStringLiteral("O&ptions..."));
    m_help.setTitle(QStringLiteral("&Help"));
    // Support and FAQ are sections of the help page beside the program, not web pages.
    showHelp = m_help.addAction(QStringLiteral("&Help"));
    support = m_help.addAction(QStringLiteral("&Support (Help Page)"));
    faq = m_help.addAction(QStringLiteral("&FAQ (Help Page)"));
    about = m_help.addAction(QStringLiteral("&About"));
    m_menu.addMenu(&m_help);
    m_menu.addSeparator();
    exit = m_menu.addAction(QStringLiteral("E&xit"));
    setDefaultForChart(false);
}

void TrayMenu::setMonitorShown(bool shown)
{
    showLog->setText(shown ? QStringLiteral("Monitor &Off.") : QStringLiteral("Monitor &On."));
}

void TrayMenu::setDefaultForChart(bool dblClickChart)
{
    m_menu.setDefaultAction(dblClickChart ? showAll : showLog);
}
