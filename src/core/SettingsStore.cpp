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

QString mismatch(const QString &key, const QString &value, const char *needed)
{
    return QStringLiteral("Type mismatch: the setting \"%1\" holds \"%2\", which is not %3.")
        .arg(key, value, QLatin1String(needed));
}

QString invalidValue(const QString &key, const QString &value)
{
    return QStringLiteral("Invalid property value: the setting \"%1\" holds \"%2\".").arg(key, value);
}

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
        const QString value = result->value(row, QStringLiteral("settingvalue")).toString();
        if (!apply(key, value, convert, settings))
            return false;
    }
    return true;
}

bool SettingsStore::apply(const QString &key, const QString &value, const JetConvert &convert, Settings &settings)
{
    const auto int16 = [&](qint16 &out) {
        const std::optional<qint16> v = convert.toInt16(value);
        if (!v) {
            m_error = mismatch(key, value, "a whole number from -32768 to 32767");
            return false;
        }
        out = *v;
        return true;
    };
    const auto int32 = [&](qint32 &out) {
        const std::optional<qint32> v = convert.toInt32(value);
        if (!v) {
            m_error = mismatch(key, value, "a whole number");
            return false;
        }
        out = *v;
        return true;
    };
    // A number, rounded as the dialect rounds to integers, or nothing when it is too large for
    // any integer; false (the load fails) only for text that is no number at all.
    const auto wholeNumber = [&](std::optional<qint64> &out) {
        JetConvert::Error error = JetConvert::Error::None;
        const std::optional<double> v = convert.toDouble(value, &error);
        if (v)
            out = JetConvert::roundToInteger(
                *v, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        if (!v && error != JetConvert::Error::Overflow) {
            m_error = mismatch(key, value, "a whole number");
            return false;
        }
        return true;
    };
    // A whole number within its range, or the key's default with a diagnostic line.
    const auto wholeInRange = [&](qint64 low, qint64 high, qint64 fallback, auto &number, QString &text) {
        std::optional<qint64> v;
        if (!wholeNumber(v))
            return false;
        if (!v || *v < low || *v > high) {
            outOfRange(
                key, value, qPrintable(QStringLiteral("%1 to %2").arg(low).arg(high)), QString::number(fallback));
            v = fallback;
        }
        number = static_cast<std::remove_reference_t<decltype(number)>>(*v);
        text = QString::number(*v);
        return true;
    };
    // A check box takes 0, 1 or 2 and a list takes one of its indexes (or -1); anything
    // else is refused the way the dialog's controls refuse it.
    const auto inRange = [&](int v, int low, int high) {
        if (v >= low && v <= high)
            return true;
        m_error = invalidValue(key, value);
        return false;
    };
    const auto checkBox = [&](int &state) {
        qint16 v = 0;
        if (!int16(v) || !inRange(v, 0, 2))
            return false;
        state = v;
        return true;
    };

    // Keys are matched exactly, case and all; unknown keys (the adapter rows among them)
    // are left to their own readers.
    if (key == QLatin1String("DblClick")) {
        qint16 v = 0;
        if (!int16(v))
            return false;
        settings.stepDblClickTo(v > 1 ? Settings::MiniMonitor
                : v > 0               ? Settings::ChartWindow
                                      : Settings::MonitorWindow);
        settings.confirmDblClick();
    } else if (key == QLatin1String("ExportFolder")) {
        settings.exportFolder = value;
    } else if (key == QLatin1String("kilobit")) {
        return checkBox(settings.kilobitState);
    } else if (key == QLatin1String("whatsleft")) {
        return checkBox(settings.whatsLeftState);
    } else if (key == QLatin1String("Playwav")) {
        return checkBox(settings.playWavState);
    } else if (key == QLatin1String("maxmbsize")) {
        JetConvert::Error error = JetConvert::Error::None;
        const std::optional<double> v = convert.toDouble(value, &error);
        if (!v && error != JetConvert::Error::Overflow) {
            m_error = mismatch(key, value, "a number");
            return false;
        }
        if (v && *v >= 0 && *v <= MaxMBLimit) {
            settings.maxMB = *v;
            settings.maxMBText = NumberText::plain(*v);
        } else {
            const Settings defaults;
            outOfRange(key, value, "0 to 5120000", defaults.maxMBText);
            settings.maxMB = defaults.maxMB;
            settings.maxMBText = defaults.maxMBText;
        }
    } else if (key == QLatin1String("logperiodtype")) {
        qint32 type = 0;
        qint16 index = 0;
        if (!int32(type) || !int16(index) || !inRange(index, -1, int(Settings::periodTypeItems().size()) - 1))
            return false;
        settings.periodType = type;
        settings.periodTypeIndex = index;
    } else if (key == QLatin1String("logperiod")) {
        return wholeInRange(0, PeriodLimit, Settings().periodLength, settings.periodLength, settings.periodLengthText);
    } else if (key == QLatin1String("logstartday")) {
        return wholeInRange(1, 31, Settings().startDay, settings.startDay, settings.startDayText);
    } else if (key == QLatin1String("MonitorTrans")) {
        qint16 index = 0;
        if (!int16(index) || !inRange(index, -1, int(Settings::transparencyItems().size()) - 1))
            return false;
        settings.monitorTransIndex = index;
    }
    return true;
}

void SettingsStore::outOfRange(const QString &key, const QString &value, const char *range, const QString &fallback)
{
    const QString line = QStringLiteral("The setting \"%1\" holds \"%2\", outside %3; %4 is used instead.")
                             .arg(key, value, QLatin1String(range), fallback);
    m_diagnostics.append(line);
    qCWarning(lcSettings).noquote() << line;
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
