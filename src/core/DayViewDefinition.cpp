#include "core/DayViewDefinition.h"

#include "core/JetSql.h"

using namespace Qt::StringLiterals;

QString DayViewDefinition::viewName()
{
    return u"DownloadPerDay"_s;
}

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
    JetSql translator;
    return translator.translate(jetText()).value_or(QString());
}
