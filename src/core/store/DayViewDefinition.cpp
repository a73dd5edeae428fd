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
    // The same rows as the translation of jetText(), but the log is first totalled per day
    // through the LogByDay index, so that the view does not sort every row of ten years of log
    // for its GROUP BY; the functions then run once a day instead of four times a row.
    return u"SELECT CLng(Format(Day,'yyyymmdd')) AS DDate, KBDown, KBUp, AVGDown, "
           u"CDate(Format(Day,'yyyy/mm/dd')) AS Gdate "
           u"FROM (SELECT substr(DateAndTimeStart, 1, 10) AS Day, Sum(BytesRcvd*1.0/1024) AS KBDown, "
           u"Sum(BytesSent*1.0/1024) AS KBUp, Avg(AvgDownloadSpeed) AS AVGDown "
           u"FROM Log GROUP BY substr(DateAndTimeStart, 1, 10)) "
           u"ORDER BY DDate DESC"_s;
}
