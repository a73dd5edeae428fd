// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/DayViewDefinition.h"

using namespace Qt::StringLiterals;

QString DayViewDefinition::jetText()
{
    const QString dayNumber = u"CLng(Format([DateAndTimeStart],\"yyyymmdd\"))"_s;
    const QString dayDate = u"CDate(Format([DateAndTimeStart],\"yyyy/mm/dd\"))"_s;
    return u"SELECT "_s + dayNumber
        + u" AS DDate, Sum([BytesRcvd]/1024) AS KBDown, Sum([BytesSent]/1024) AS KBUp, "
          u"Avg(Log.AvgDownloadSpeed) AS AVGDown, "_s
        + dayDate + u" AS Gdate From Log GROUP BY "_s + dayNumber + u", "_s + dayDate + u" ORDER BY "_s + dayNumber
        + u" DESC"_s;
}

QString DayViewDefinition::sqliteText()
{
    // The same rows as the translation of jetText(), read from the per-day totals that triggers
    // keep in LogPerDay, so that the view costs days instead of log rows; the functions run once
    // a day instead of four times a row.
    return u"SELECT CLng(Format(Day,'yyyymmdd')) AS DDate, BytesDown / 1024.0 AS KBDown, BytesUp / 1024.0 AS KBUp, "
           u"SpeedSum / SpeedCount AS AVGDown, CDate(Format(Day,'yyyy/mm/dd')) AS Gdate "
           u"FROM LogPerDay ORDER BY DDate DESC"_s;
}
