#include "core/DatabaseStartup.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/FormatDateText.h"
#include "core/store/SchemaUpgrade.h"
#include "core/store/StoreSession.h"
#include "core/traffic/RowJournal.h"

DatabaseStartup::DatabaseStartup(QString databasePath, const Clock &clock, const DebugLog &log, Settings &settings)
    : m_path(std::move(databasePath))
    , m_clock(clock)
    , m_log(log)
    , m_settings(settings)
{
}

QString DatabaseStartup::failureText(const QString &description)
{
    return QStringLiteral("Database Init Error!\n") + description;
}

bool DatabaseStartup::run()
{
    StoreSession session(m_path);
    if (!session.open()) {
        m_error = session.errorString();
        return false;
    }
    SchemaUpgrade upgrade(session, m_clock, m_log);
    if (!upgrade.run()) {
        m_error = upgrade.errorString();
        return false;
    }
    m_log.write(QStringLiteral(": Upgrading database: Done"));
    m_log.write(QStringLiteral(": Reading Settings"));

    // Settings are read into a copy first, so that a failed read leaves no half-read state.
    Settings loaded = m_settings;
    SettingsStore settingsStore(m_path);
    if (!settingsStore.load(session, loaded)) {
        m_error = settingsStore.errorString();
        return false;
    }
    m_settings = loaded;
    for (const QString &line : settingsStore.diagnostics())
        m_log.write(QStringLiteral(": ") + line);
    m_log.write(QStringLiteral(": Settings Read"));

    // A write-ahead log, so that journaling the open row costs no disk flush. A file system
    // that cannot hold one keeps the rollback journal; the program works the same.
    const std::optional<QueryResult> mode = session.queryNative(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!mode || mode->value(0, QStringLiteral("journal_mode")).toString() != QLatin1String("wal"))
        m_log.write(QStringLiteral(": No write-ahead log: ") + session.errorString());

    // The open row of a run that did not end cleanly becomes its log row before this run
    // begins.
    QString recovered;
    if (!RowJournal::recover(session, recovered, m_error))
        return false;
    if (!recovered.isEmpty())
        m_log.write(QStringLiteral(": Row of an unfinished run recovered: ") + recovered);

    // The start marker of the run; a run without one is still a good run.
    const QString start = FormatDateText(m_clock.now());
    const QString end = FormatDateText(m_clock.now());
    (void)session.execute(QStringLiteral("INSERT INTO Log values('%1','%2',0,0,0);").arg(start, end));
    return true;
}
