// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

class Clock;
struct RunCounters;

// The numbers of one statistics view: a row per period, oldest first, and a column per
// series (Upload, Download, Total; Upload and Download when stacked; Avg Down for the
// speed views). The chart draws it and the report lists it, so both always show the same
// values. The display role holds the number itself, which is what chart mappers read and
// what the report list rounds.
class StatsGrid final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatsGrid)

public:
    // The views in the order of their entries (viewEntries()).
    enum View {
        VolumePerDay,
        VolumePerWeek,
        VolumePerMonth,
        VolumePerYear,
        SpeedPerDay,
        SpeedPerWeek,
        SpeedPerMonth,
        SpeedPerYear,
    };
    static constexpr int ViewCount = 8;

    // Which periods a fill shows. The window pages back from the newest: page 0 is the view
    // as it always was (the 15 days to today, the newest 12 weeks, months or years), page 1
    // the 15 days or 12 periods before it, and so on. The report asks for a range instead:
    // from the period holding `since` on, or the newest `count` periods, or count periods
    // from the one holding since.
    struct Span
    {
        int page = 0;
        QDate since {}; // valid: the first period shown is the one holding this day
        int count = 0; // more than 0: at most this many periods
    };
    // Rows on a page: calendar days in the day views, logged periods in the others.
    static int pageLength(int view);

    enum class Outcome {
        Filled, // the view had rows
        Empty, // nothing to show: the grid has no rows
        Failed, // the database could not be read (errorString()); the grid has no rows
    };

    explicit StatsGrid(const Clock &clock, QObject *parent = nullptr);

    // The entry texts of the eight views; the speed views carry the unit chosen.
    static QStringList viewEntries(bool kbps);
    // The statement the newest page is read with, on the given day (the day views reach 14
    // days back; the others read every period, to know whether a page lies before the newest).
    static QString query(int view, const QDate &today);
    // The statement that reads every period of a view, newest first.
    static QString queryAll(int view);
    // The unit of a view's numbers: MB for days, GB for the longer periods, kBps or Kbps.
    static QString unit(int view, bool kbps);
    // The report's four column headers for a grid of that many series.
    static QStringList reportHeaders(int seriesCount);

    // Reads the view from the database and replaces the grid with it. stacked asks for the
    // volume views without their Total series; kbps shows speeds in kilobits (× 8.192). The
    // traffic of the run not yet logged (run: current less base) goes to the volume views'
    // row of the current period, which is added when the log has none yet.
    [[nodiscard]] Outcome fill(const QString &databasePath, int view, bool stacked, bool kbps, const RunCounters &run);
    // The same for a page further back, or a range of periods.
    [[nodiscard]] Outcome fill(
        const QString &databasePath, int view, bool stacked, bool kbps, const RunCounters &run, const Span &span);
    // The view holds periods older than the grid's first row (a page further back has rows).
    bool hasOlder() const { return m_hasOlder; }
    QString errorString() const { return m_error; }
    // Reads over a read-only connection (a command-line report beside a running program).
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // How long the view's query may run (StoreSession::setStatementTimeLimit).
    void setStatementTimeLimit(int msecs) { m_statementLimitMs = msecs; }

    int seriesCount() const { return int(m_seriesLabels.size()); }
    QString seriesLabel(int series) const { return m_seriesLabels.value(series); }
    const QStringList &rowLabels() const { return m_rowLabels; }
    QString rowLabel(int row) const { return m_rowLabels.value(row); }
    // The first and the last day of a row's period (ISO weeks from Monday to Sunday); invalid
    // where the view's ddate names no period (a view made by hand).
    QDate firstDay(int row) const { return m_rowDays.value(row).first; }
    QDate lastDay(int row) const { return m_rowDays.value(row).second; }
    double value(int row, int series) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Period
    {
        qint64 key; // the day's Julian day number, else the view's ddate
        double kbUp = 0;
        double kbDown = 0;
        double avgDown = 0;
    };

    // from valid: the days from that day (to the day `to`, when valid) and whether any lies before.
    bool readPeriods(const QString &databasePath, int view, const QDate &from, const QDate &to, QList<Period> &periods);
    static QString dayQuery(int view, const QDate &from, const QDate &to);
    static qint64 keyOf(int view, const QDate &day);
    std::pair<qint64, qint64> dayRange(const QList<Period> &periods, const Span &span) const;
    std::pair<qsizetype, qsizetype> periodRange(int view, const QList<Period> &periods, const Span &span) const;
    void setGrid(int view, bool stacked, bool kbps, const QList<Period> &periods);

    // The last whole reading of a week, month or year view, for the pages before its newest.
    struct Reading
    {
        QString databasePath;
        int view = -1;
        QDate day; // the day it was read on
        QList<Period> periods; // without the run's traffic
    };

    const Clock &m_clock;
    QStringList m_seriesLabels;
    QStringList m_rowLabels;
    QList<std::pair<QDate, QDate>> m_rowDays;
    QList<double> m_values; // row by row
    QString m_error;
    bool m_readOnly = false;
    bool m_hasOlder = false;
    Reading m_read;
    int m_statementLimitMs;
};
