#include "core/DatabaseStartup.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "core/store/FormatDateText.h"
#include "core/store/SchemaUpgrade.h"
#include "core/store/StoreSession.h"

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

    // The start marker of the run; a run without one is still a good run.
    const QString start = FormatDateText(m_clock.now());
    const QString end = FormatDateText(m_clock.now());
    (void)session.execute(QStringLiteral("INSERT INTO Log values('%1','%2',0,0,0);").arg(start, end));
    return true;
}
