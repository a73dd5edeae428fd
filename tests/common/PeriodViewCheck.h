// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/DayViewDefinition.h"
#include "core/store/JetSql.h"
#include "core/store/StoreSession.h"

#include <QList>
#include <QPair>
#include <QString>

#include <cmath>

// The period views as first defined, totalling the log row by row (the day view translates the program's own), as
// databases made before the per-day totals carry them; and a comparison of the program's views with them.
namespace PeriodViewCheck {

inline QList<QPair<QString, QString>> perRowViews()
{
    const QString thursday = QStringLiteral("date(DateAndTimeStart, '-3 days', 'weekday 4')");
    const QString totals
        = QStringLiteral(" AS ddate, sum(BytesRcvd) / 1024.0 AS kbdown, sum(BytesSent) / 1024.0 AS kbup, "
                         "avg(AvgDownloadSpeed) AS avgdown FROM Log GROUP BY ddate ORDER BY ddate DESC");
    return {{QStringLiteral("DownloadPerDay"), JetSql().translate(DayViewDefinition::jetText()).value_or(QString())},
        {QStringLiteral("DownloadPerWeek"),
            QStringLiteral(
                "SELECT CAST(strftime('%Y', %1) AS INTEGER) * 100 + (CAST(strftime('%j', %1) AS INTEGER) - 1) "
                "/ 7 + 1")
                    .arg(thursday)
                + totals},
        {QStringLiteral("DownloadPerMonth"),
            QStringLiteral("SELECT CAST(strftime('%Y%m', DateAndTimeStart) AS INTEGER)") + totals},
        {QStringLiteral("DownloadPerYear"),
            QStringLiteral("SELECT CAST(strftime('%Y', DateAndTimeStart) AS INTEGER)") + totals}};
}

// Empty when each view gives its per-row definition's field names and each row's types and values; averages may
// differ in their last bits once rows are deleted, as the per-day totals take a row's speed off a sum.
inline QString mismatch(StoreSession &session)
{
    for (const auto &[view, definition] : perRowViews()) {
        const std::optional<QueryResult> got = session.queryNative(QStringLiteral("select * from ") + view);
        const std::optional<QueryResult> want = session.queryNative(definition);
        if (!got || !want)
            return view + QStringLiteral(": ") + session.errorString();
        if (got->fieldNames() != want->fieldNames() || got->rowCount() != want->rowCount())
            return QStringLiteral("%1: %2 rows, %3 expected").arg(view).arg(got->rowCount()).arg(want->rowCount());
        for (int row = 0; row < got->rowCount(); ++row) {
            for (int field = 0; field < got->fieldNames().size(); ++field) {
                const QVariant a = got->rows().at(row).at(field);
                const QVariant b = want->rows().at(row).at(field);
                const bool average = field == 3 && a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double;
                const bool same = average
                    ? std::abs(a.toDouble() - b.toDouble()) <= 1e-12 * std::abs(b.toDouble()) + 1e-9
                    : a.typeId() == b.typeId() && a == b;
                if (!same)
                    return QStringLiteral("%1 row %2: %3, expected %4").arg(view).arg(row).arg(a.toString(), b.toString());
            }
        }
    }
    // The counts behind the totals, which decide when a day goes.
    const QString counts
        = QStringLiteral("select Day, DownCount, UpCount, SpeedCount, SpeedNonZero, RowCount from LogPerDay "
                         "except select substr(DateAndTimeStart, 1, 10), count(BytesRcvd), "
                         "count(BytesSent), count(AvgDownloadSpeed), "
                         "count(nullif(AvgDownloadSpeed, 0)), count(*) from Log group by 1");
    const std::optional<QueryResult> wrong = session.queryNative(counts);
    const std::optional<QueryResult> days = session.queryNative(QStringLiteral(
        "select (select count(*) from LogPerDay) - (select count(distinct substr(DateAndTimeStart, 1, 10)) from Log)"));
    if (!wrong || !days)
        return session.errorString();
    if (!wrong->isEmpty() || days->rows().at(0).at(0).toInt() != 0)
        return QStringLiteral("LogPerDay counts differ from the log's, first on ")
            + wrong->rows().value(0).value(0).toString();
    return {};
}

} // namespace PeriodViewCheck
