// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include "core/store/JetConvert.h"
#include "core/store/JetLocale.h"

#include <QFile>
#include <QLoggingCategory>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>

namespace Fuzz {

void initialize()
{
    setenv("TZ", "UTC", 1);
    tzset();
    // The settings' out-of-range warnings would otherwise fill stderr at every input.
    QLoggingCategory::setFilterRules(QStringLiteral("varnolt.*=false"));
}

PickedLocale takeLocale(const uint8_t *&data, size_t &size)
{
    static const QList<QLocale> locales
        = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    // Snapshots of locales already seen; building one asks QLocale for every picture and name.
    struct Snapshot
    {
        JetLocale jetLocale;
        JetConvert convert;
    };
    static std::map<int, std::unique_ptr<Snapshot>> snapshots;

    int index = 0;
    if (size >= 2) {
        index = int((data[0] | data[1] << 8) % locales.size());
        data += 2;
        size -= 2;
    }
    const QLocale &locale = locales.at(index);
    QLocale::setDefault(locale);
    std::unique_ptr<Snapshot> &snapshot = snapshots[index];
    if (!snapshot) {
        const JetLocale jetLocale(locale);
        snapshot.reset(new Snapshot {jetLocale, JetConvert(jetLocale)});
    }
    return {index, locale, snapshot->jetLocale, snapshot->convert};
}

void createSchema(sqlite3 *db)
{
    QFile file(QStringLiteral(VARNOLT_SCHEMA_SQL));
    if (!file.open(QIODevice::ReadOnly))
        fail("the schema can be read", file.fileName());
    char *message = nullptr;
    if (sqlite3_exec(db, file.readAll().constData(), nullptr, nullptr, &message) != SQLITE_OK)
        fail("the schema can be created", QString::fromUtf8(message));
}

void fail(const char *property, const QString &details)
{
    std::fprintf(stderr, "\n*** Broken: %s\n%s\n", property, details.toUtf8().constData());
    std::abort();
}

} // namespace Fuzz
