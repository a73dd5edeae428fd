// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SettingsStore.h"

#include "core/Settings.h"
#include "core/store/JetConvert.h"
#include "core/store/NumberText.h"
#include "core/store/StoreSession.h"

#include <QLatin1String>
#include <QLoggingCategory>

#include <limits>
#include <optional>

Q_LOGGING_CATEGORY(lcSettings, "varnolt.settings")

namespace {

// The largest values the options dialog lets the user store.
constexpr double MaxMBLimit = 5120000;
constexpr qint64 PeriodLimit = 365;

} // namespace

SettingsStore::SettingsStore(QString databasePath)
    : m_path(std::move(databasePath))
{
}

QString SettingsStore::quoted(const QString &value)
{
    QString text = value;
    return text.replace(QLatin1Char('\''), QLatin1String("''"));
}

bool SettingsStore::load(StoreSession &session, Settings &settings)
{
    const std::optional<QueryResult> result = session.query(QStringLiteral("select * from settings;"));
    if (!result) {
        m_error = session.errorString();
        return false;
    }
    m_diagnostics.clear();
    const JetConvert convert(JetLocale::current());
    for (int row = 0; row < result->rowCount(); ++row) {
        const QString key = result->value(row, QStringLiteral("settingname")).toString();
        const QVariant value = result->value(row, QStringLiteral("settingvalue"));
        apply(key, value, convert, settings);
    }
    return true;
}

void SettingsStore::apply(const QString &key, const QVariant &stored, const JetConvert &convert, Settings &settings)
{
    const QString value = stored.toString();
    const Settings defaults;
    // A value the key cannot take (no value, empty, not a number, a number outside what the
    // options dialog allows) gives the key's default with a diagnostic line, and start-up
    // goes on metering: a row edited by hand must not stop the program.
    const auto fallBack = [&](qint64 low, qint64 high, const QString &fallback) {
        JetConvert::Error error = JetConvert::Error::None;
        const bool number = convert.toDouble(value, &error) || error == JetConvert::Error::Overflow;
        const QString line = QStringLiteral("The setting \"%1\" holds %2, %3; %4 is used instead.")
                                 .arg(key,
                                     stored.isNull() ? QStringLiteral("no value") : QStringLiteral("\"%1\"").arg(value),
                                     number ? QStringLiteral("outside %1 to %2").arg(low).arg(high)
                                            : QStringLiteral("which is not a number"),
                                     fallback);
        m_diagnostics.append(line);
        qCWarning(lcSettings).noquote() << line;
    };
    // A whole number, rounded as the dialect rounds to integers, or nothing when it is text
    // that is no number or too large for any integer.
    const auto wholeNumber = [&]() -> std::optional<qint64> {
        const std::optional<double> v = convert.toDouble(value);
        if (!v)
            return std::nullopt;
        return JetConvert::roundToInteger(*v, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    };
    // A whole number within its range, or the key's default.
    const auto wholeInRange = [&](qint64 low, qint64 high, qint64 fallback, auto &number, QString &text) {
        std::optional<qint64> v = wholeNumber();
        if (!v || *v < low || *v > high) {
            fallBack(low, high, QString::number(fallback));
            v = fallback;
        }
        number = static_cast<std::remove_reference_t<decltype(number)>>(*v);
        text = QString::number(*v);
    };
    // A check box takes 0, 1 or 2 and a list one of its indexes (or -1), as the dialog's
    // controls take them.
    const auto index = [&](int low, int high, int fallback) {
        const std::optional<qint16> v = convert.toInt16(value);
        if (v && *v >= low && *v <= high)
            return int(*v);
        fallBack(low, high, QString::number(fallback));
        return fallback;
    };

    // Keys are matched exactly, case and all; unknown keys (the adapter rows among them)
    // are left to their own readers.
    if (key == QLatin1String("DblClick")) {
        const std::optional<qint16> v = convert.toInt16(value);
        if (!v)
            fallBack(-32768, 32767, QString::number(defaults.dblClickState()));
        const int target = !v ? defaults.dblClickState()
            : *v > 1          ? Settings::MiniMonitor
            : *v > 0          ? Settings::ChartWindow
                              : Settings::MonitorWindow;
        settings.stepDblClickTo(target);
        settings.confirmDblClick();
    } else if (key == QLatin1String("ExportFolder")) {
        settings.exportFolder = value;
    } else if (key == QLatin1String("kilobit")) {
        settings.kilobitState = index(0, 2, defaults.kilobitState);
    } else if (key == QLatin1String("whatsleft")) {
        settings.whatsLeftState = index(0, 2, defaults.whatsLeftState);
    } else if (key == QLatin1String("Playwav")) {
        settings.playWavState = index(0, 2, defaults.playWavState);
    } else if (key == QLatin1String("maxmbsize")) {
        const std::optional<double> v = convert.toDouble(value);
        if (v && *v >= 0 && *v <= MaxMBLimit) {
            settings.maxMB = *v;
            settings.maxMBText = NumberText::plain(*v);
        } else {
            fallBack(0, qint64(MaxMBLimit), defaults.maxMBText);
            settings.maxMB = defaults.maxMB;
            settings.maxMBText = defaults.maxMBText;
        }
    } else if (key == QLatin1String("logperiodtype")) {
        // The type and the list's index are one value read twice; both or neither.
        const qint16 last = qint16(Settings::periodTypeItems().size() - 1);
        const std::optional<qint32> type = convert.toInt32(value);
        const std::optional<qint16> item = convert.toInt16(value);
        if (type && item && *item >= -1 && *item <= last) {
            settings.periodType = *type;
            settings.periodTypeIndex = *item;
        } else {
            fallBack(-1, last, QString::number(defaults.periodTypeIndex));
            settings.periodType = defaults.periodType;
            settings.periodTypeIndex = defaults.periodTypeIndex;
        }
    } else if (key == QLatin1String("logperiod")) {
        wholeInRange(0, PeriodLimit, defaults.periodLength, settings.periodLength, settings.periodLengthText);
    } else if (key == QLatin1String("logstartday")) {
        wholeInRange(1, 31, defaults.startDay, settings.startDay, settings.startDayText);
    } else if (key == QLatin1String("MonitorTrans")) {
        settings.monitorTransIndex
            = index(-1, int(Settings::transparencyItems().size()) - 1, defaults.monitorTransIndex);
    }
}

bool SettingsStore::write(const QList<QPair<QString, QString>> &values)
{
    return runInTransaction(keyStatements(values));
}

bool SettingsStore::writeAdapterSelection(const QList<QPair<int, QString>> &selected)
{
    return runInTransaction(adapterStatements(selected));
}

bool SettingsStore::writeOptions(
    const QList<QPair<int, QString>> &selectedAdapters, const QList<QPair<QString, QString>> &values)
{
    return runInTransaction(adapterStatements(selectedAdapters) + keyStatements(values));
}

QStringList SettingsStore::keyStatements(const QList<QPair<QString, QString>> &values)
{
    QStringList statements;
    for (const auto &[key, value] : values) {
        statements << QStringLiteral("Delete from settings where settingname = '%1';").arg(quoted(key))
                   << QStringLiteral("INSERT INTO settings(Settingname,Settingvalue) values('%1','%2');")
                          .arg(quoted(key), quoted(value));
    }
    return statements;
}

QStringList SettingsStore::adapterStatements(const QList<QPair<int, QString>> &selected)
{
    QStringList statements {QStringLiteral("Delete from settings where settingname like 'Adapter%';")};
    for (const auto &[index, text] : selected) {
        statements << QStringLiteral("INSERT INTO settings(Settingname,Settingvalue) values('Adapter%1','%2');")
                          .arg(index)
                          .arg(quoted(text));
    }
    return statements;
}

bool SettingsStore::runInTransaction(const QStringList &statements)
{
    StoreSession session(m_path);
    if (!session.open() || !session.beginTransaction()) {
        m_error = session.errorString();
        return false;
    }
    for (const QString &statement : statements) {
        if (!session.execute(statement)) {
            m_error = session.errorString();
            session.rollback();
            return false;
        }
    }
    if (!session.commit()) {
        m_error = session.errorString();
        session.rollback();
        return false;
    }
    return true;
}
