// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/store/StoreSession.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>

// A copy of the shipped database holding ten years of traffic log (2017 to 2026): about a
// hundred rows a day, of uneven length, with traffic that varies by the hour; 365,000 rows
// and more. The same seed gives the same log in every benchmark.
class TenYearLog
{
public:
    static QDate first() { return {2017, 1, 1}; }
    static QDate last() { return {2026, 12, 31}; }
    static int days() { return int(first().daysTo(last())) + 1; }

    // The benchmarks on this log take [locale] [runs]: the locale the views and texts are
    // made in, and how many times each is timed.
    static int localeAndRuns(const QStringList &arguments, int defaultRuns)
    {
        if (arguments.size() > 1)
            QLocale::setDefault(QLocale(arguments.at(1)));
        return arguments.size() > 2 ? std::max(1, arguments.at(2).toInt()) : defaultRuns;
    }

    // Copies the shipped database to path and fills its log; false with error set on failure.
    static bool create(const QString &path, int &rowCount, QString &error)
    {
        if (!QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), path)
            || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner)) {
            error = QStringLiteral("cannot copy %1").arg(QStringLiteral(VARNOLT_SHIPPED_DB));
            return false;
        }
        StoreSession session(path);
        if (!session.open() || !fill(session, rowCount)) {
            error = session.errorString();
            return false;
        }
        return true;
    }

    // The log in a fresh folder: its row count, or nothing with the reason on standard error.
    static std::optional<int> createIn(const QTemporaryDir &dir, const QString &path)
    {
        int rowCount = 0;
        QString error = QStringLiteral("cannot make a temporary folder");
        if (!dir.isValid() || !create(path, rowCount, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return std::nullopt;
        }
        return rowCount;
    }

    static bool fill(StoreSession &session, int &rowCount)
    {
        QRandomGenerator random(20261205);
        if (!session.beginTransaction())
            return false;
        QString batch;
        int inBatch = 0;
        rowCount = 0;
        for (QDate day = first(); day <= last(); day = day.addDays(1)) {
            const int rows = 90 + int(random.bounded(21));
            const int slot = 86400 / rows;
            for (int row = 0; row < rows; ++row) {
                const int second = row * slot + int(random.bounded(slot / 4));
                const int length = slot / 2 + int(random.bounded(slot / 4));
                const QDateTime start(day, QTime(0, 0).addSecs(second));
                const QDateTime end(day, QTime(0, 0).addSecs(second + length));
                const int hour = second / 3600;
                const qint64 scale = hour >= 8 ? 400000 : 40000;
                const qint64 received = qint64(random.bounded(scale)) * length / 10;
                const qint64 sent = received / (3 + int(random.bounded(10)));
                const double average = double(received) / 1000.0 / length;
                batch += (inBatch == 0 ? QStringLiteral("insert into Log values ") : QStringLiteral(","))
                    + QStringLiteral("('%1','%2',%3,%4,%5)")
                          .arg(start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                              end.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                          .arg(sent)
                          .arg(received)
                          .arg(QString::number(average, 'f', 4));
                ++rowCount;
                // Five hundred rows a statement: one statement per row would take minutes.
                if (++inBatch == 500) {
                    if (!session.executeNative(batch))
                        return false;
                    batch.clear();
                    inBatch = 0;
                }
            }
        }
        if (inBatch > 0 && !session.executeNative(batch))
            return false;
        return session.commit();
    }
};
