#pragma once

#include <QString>

class QIODevice;
class StoreSession;

// The per-period statistics as a CSV file: one of the four period views, newest period
// first, a line per period with the volume downloaded and uploaded (KB of 1024 bytes) and the
// average download speed (kB/s), "." as decimal point whatever the locale, CR LF after every
// line, UTF-8 without a byte order mark (the text is ASCII).
class CsvExport final
{
public:
    enum class Outcome { Written, WrittenToFallback, Failed };
    static constexpr int ViewCount = 4;

    explicit CsvExport(QString databasePath);

    // The view's rows as the CSV text: the header "Period,KBDown,KBUp,AvgSpeed" and a line per
    // row, CR LF after every line. view: 0 per day, 1 per week, 2 per month, 3 per year. False,
    // with errorString(), when the database cannot be read or the device refuses a write.
    [[nodiscard]] bool write(int view, QIODevice &device);
    // The whole export to a file: the file at path (trimmed by the caller) is replaced only by
    // a complete new one (QSaveFile: a temporary file in the same folder renamed over it on
    // success; on any failure the old file stays byte for byte and no temporary file is left).
    // When the file cannot be made there (missing folder, a folder given as the path, no
    // right to write, a name the file system rejects), the fallback path is used instead.
    // Before the query, the path used is stored in the settings under "ExportFolder" (delete
    // then insert, as SettingsStore writes keys; a failure there is ignored).
    Outcome exportTo(const QString &path, int view, const QString &fallbackPath);
    QString usedPath() const; // the path written (or tried last)
    QString errorString() const;

    // 1234.5678 → "1234.56", 12.05 → "12.05", 7 → "7.00", 0.999 → "0.99": truncated to two
    // decimals, "." whatever the locale, no grouping.
    static QString exportNumber(double value);
    // The statement that reads a view, in the program's dialect; "" for a view that does not exist.
    static QString query(int view);

private:
    bool write(int view, QIODevice &device, StoreSession &session);
    bool fail(const QString &message);

    QString m_databasePath;
    QString m_usedPath;
    QString m_error;
};
