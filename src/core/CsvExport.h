// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ExportTarget.h"
#include "core/traffic/RunCounters.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

class ExportFile;
class QIODevice;
class StoreSession;

// The per-period statistics as a CSV file: one of the four period views, newest period
// first, a line per period with the volume downloaded and uploaded (KB of 1024 bytes) and the
// average download speed (kB/s), "." as decimal point whatever the locale, CR LF after every
// line, UTF-8 without a byte order mark (the text is ASCII). The running program's open row
// is counted in its period's line, as the statistics window counts it.
class CsvExport final
{
public:
    enum class Outcome { Written, WrittenToFallback, Failed };
    static constexpr int ViewCount = 4;

    explicit CsvExport(QString databasePath);

    // The traffic not yet logged, added to the line of its period (UnloggedTraffic) by every
    // export from now on: the open row's counters as they are now, taken as a copy.
    void setOpenRow(const RunCounters &run, const QDateTime &now) { m_openRow.emplace(run, now); }

    // The view's rows as the CSV text: the header "Period,KBDown,KBUp,AvgSpeedkBps" and a line
    // per row, CR LF after every line; the open row's period gets a line of its own, in its
    // place, when the log has none for it yet. view: 0 per day, 1 per week, 2 per month, 3 per year. False,
    // with errorString(), when the database cannot be read or the device refuses a write.
    [[nodiscard]] bool write(int view, QIODevice &device);

    // The whole export to target (from ExportTarget::resolve, before anything is written; an
    // Exists target counts as the user's yes to replacing that very file). The file is replaced only by a complete new one: written to a
    // temporary file beside it, made 0600 whatever the umask (a replaced file keeps its own
    // permission bits), and renamed over it at the end, every step relative to the folder that
    // was checked and never following a link. On any failure the old file stays byte for
    // byte and nothing is left beside it. When no file can be made at the target, the export
    // goes to fallbackPath, and when a file of that name is already there, to the first free
    // "name (2).csv", "name (3).csv", ...: the fallback never replaces a file. Once the file is
    // complete, the path written (target.given, or the fallback name) is stored in the
    // settings under "ExportFolder" (delete then insert, as SettingsStore writes keys; a
    // failure there is ignored).
    Outcome exportTo(const ExportTarget &target, int view, const QString &fallbackPath);
    QString usedPath() const; // the path written (or tried last), as given
    QString writtenFile() const; // the real file written, links resolved
    QString errorString() const;

    // 1234.5678 → "1234.56", 12.05 → "12.05", 7 → "7.00", 0.999 → "0.99": truncated to two
    // decimals, "." whatever the locale, no grouping.
    static QString exportNumber(double value);
    // The statement that reads a view, in the program's dialect; "" for a view that does not exist.
    static QString query(int view);

private:
    bool write(int view, QIODevice &device, StoreSession &session);
    bool openFallback(std::unique_ptr<ExportFile> &file, const QString &fallbackPath, const QString &reason);
    void storeUsedPath(StoreSession &session);
    bool fail(const QString &message);

    QString m_databasePath;
    std::optional<std::pair<RunCounters, QDateTime>> m_openRow;
    QString m_usedPath;
    QString m_writtenFile;
    QString m_error;
};
