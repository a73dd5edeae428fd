// SPDX-License-Identifier: GPL-3.0-or-later
// The settings loader: fuzzed rows in the settings table of a real database file, loaded
// by SettingsStore into a Settings as at start-up. Whatever the rows hold, a load of a
// readable table succeeds (a value its key cannot take gives the key's default with a
// diagnostic line) and gives values inside the ranges start-up enforces; what it gives,
// stored back the way the options dialog stores it, loads again as the same settings and
// without a single diagnostic line.
// Input: two bytes that pick the locale, then one row per line: "key=value", or "key"
// alone for a NULL value.

#include "FuzzSupport.h"

#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/JetConvert.h"
#include "core/store/StoreSession.h"

#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

std::optional<QTemporaryDir> folder; // removed when the run ends
QString path;
sqlite3 *writer = nullptr; // puts the input's rows into the table, bypassing the store
sqlite3_stmt *insertRow = nullptr;

void exec(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(writer, sql, nullptr, nullptr, &message) != SQLITE_OK)
        Fuzz::fail("the harness's own statement runs", QString::fromUtf8(message));
}

QString describe(const Settings &s)
{
    return u"DblClick %1 (chart %2), kilobit %3, whatsleft %4, Playwav %5, maxmbsize %6 \"%7\", logperiodtype %8/%9, "
           u"logperiod %10 \"%11\", logstartday %12 \"%13\", MonitorTrans %14, ExportFolder \"%15\""_s
               .arg(s.dblClickState())
               .arg(s.dblClickChart())
               .arg(s.kilobitState)
               .arg(s.whatsLeftState)
               .arg(s.playWavState)
               .arg(s.maxMB, 0, 'g', 17)
               .arg(s.maxMBText)
               .arg(s.periodType)
               .arg(s.periodTypeIndex)
               .arg(s.periodLength)
               .arg(s.periodLengthText)
               .arg(s.startDay)
               .arg(s.startDayText)
               .arg(s.monitorTransIndex)
               .arg(s.exportFolder);
}

// The diagnostic lines of the load; only a database error makes it fail, and there is none.
QStringList load(Settings &settings, const QString &input)
{
    StoreSession session(path);
    if (!session.open())
        Fuzz::fail("the database opens", session.errorString());
    SettingsStore store(path);
    if (!store.load(session, settings))
        Fuzz::fail("a readable settings table loads", u"rows:\n%1\nerror: %2"_s.arg(input, store.errorString()));
    return store.diagnostics();
}

// The ranges start-up enforces, and texts that agree with their numbers.
void checkRanges(const Fuzz::PickedLocale &picked, const Settings &s, const QString &input)
{
    const auto box = [](int state) { return state >= 0 && state <= 2; };
    const std::optional<double> maxMBText = picked.convert.toDouble(s.maxMBText);
    const bool ok = s.periodLength >= 0 && s.periodLength <= 365
        && s.periodLengthText == QString::number(s.periodLength) && s.maxMB >= 0 && s.maxMB <= 5120000 && maxMBText
        && *maxMBText >= 0 && *maxMBText <= 5120000 && std::fabs(*maxMBText - s.maxMB) <= 1e-9 * std::max(1.0, s.maxMB)
        && s.startDay >= 1 && s.startDay <= 31 && s.startDayText == QString::number(s.startDay) && box(s.kilobitState)
        && box(s.whatsLeftState) && box(s.playWavState) && box(s.dblClickState())
        && s.dblClickChart() == (s.dblClickState() == 1) && s.periodTypeIndex >= -1
        && s.periodTypeIndex < Settings::periodTypeItems().size() && s.periodType == s.periodTypeIndex
        && s.monitorTransIndex >= -1 && s.monitorTransIndex < Settings::transparencyItems().size();
    if (!ok)
        Fuzz::fail("loaded settings lie in their ranges",
            u"locale %1\nrows:\n%2\nloaded: %3"_s.arg(picked.locale.name(), input, describe(s)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::initialize();
    // A real database file, on a memory file system where there is one.
    if (QDir(u"/dev/shm"_s).exists())
        folder.emplace(u"/dev/shm/varnolt-fuzz-XXXXXX"_s);
    else
        folder.emplace();
    path = folder->filePath(u"Varnolt.db"_s);
    if (sqlite3_open(QFile::encodeName(path).constData(), &writer) != SQLITE_OK)
        Fuzz::fail("the database file can be made", path);
    Fuzz::createSchema(writer);
    exec("PRAGMA synchronous=OFF");
    if (sqlite3_prepare_v2(writer, "INSERT INTO settings VALUES (?1, ?2)", -1, &insertRow, nullptr) != SQLITE_OK)
        Fuzz::fail("the insert prepares", QString::fromUtf8(sqlite3_errmsg(writer)));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Fuzz::PickedLocale picked = Fuzz::takeLocale(data, size);
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    exec("BEGIN; DELETE FROM settings");
    for (const QByteArray &line : input.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = equals < 0 ? line : line.left(equals);
        sqlite3_bind_text(insertRow, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        if (equals < 0) {
            sqlite3_bind_null(insertRow, 2);
        } else {
            const QByteArray value = line.mid(equals + 1);
            sqlite3_bind_text(insertRow, 2, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insertRow) != SQLITE_DONE)
            Fuzz::fail("a row goes in", QString::fromUtf8(sqlite3_errmsg(writer)));
        sqlite3_reset(insertRow);
    }
    exec("COMMIT");

    const QString rows = QString::fromUtf8(input);
    Settings settings;
    (void)load(settings, rows);
    checkRanges(picked, settings, rows);

    // Stored back as the options dialog and the export store them, the settings load the same.
    SettingsStore store(path);
    QList<QPair<QString, QString>> values = settings.storedValues();
    values.append({u"ExportFolder"_s, settings.exportFolder});
    if (!store.write(values))
        return 0;
    Settings reloaded;
    const QStringList diagnostics = load(reloaded, describe(settings));
    if (!diagnostics.isEmpty())
        Fuzz::fail("stored settings load without a fallback",
            u"locale %1\nloaded: %2\n%3"_s.arg(picked.locale.name(), describe(settings), diagnostics.join(u'\n')));
    if (describe(reloaded) != describe(settings))
        Fuzz::fail("stored settings load as they were",
            u"locale %1\nloaded:   %2\nreloaded: %3"_s.arg(
                picked.locale.name(), describe(settings), describe(reloaded)));
    return 0;
}
