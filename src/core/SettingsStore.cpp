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
#include <type_traits>

Q_LOGGING_CATEGORY(lcSettings, "varnolt.settings")

namespace {

using namespace Qt::StringLiterals;

// The largest values the options dialog lets the user store.
constexpr double MaxMBLimit = 5120000;
constexpr qint64 PeriodLimit = 365;

// A stored value on its way into the settings. A value its key cannot take (no value, empty,
// not a number, a number outside what the options dialog allows) gives the key's default with
// a diagnostic line, and start-up goes on metering: a row edited by hand must not stop the program.
struct StoredValue
{
    const QString &key;
    const QVariant &stored;
    const QString text;
    const JetConvert &convert;
    QStringList &diagnostics;

    void fallBack(qint64 low, qint64 high, const QString &fallback) const
    {
        JetConvert::Error error = JetConvert::Error::None;
        const bool number = convert.toDouble(text, &error) || error == JetConvert::Error::Overflow;
        const QString line = u"The setting \"%1\" holds %2, %3; %4 is used instead."_s.arg(key,
            stored.isNull() ? u"no value"_s : u"\"%1\""_s.arg(text),
            number ? u"outside %1 to %2"_s.arg(low).arg(high) : u"which is not a number"_s, fallback);
        diagnostics.append(line);
        qCWarning(lcSettings).noquote() << line;
    }

    // A whole number, rounded as the dialect rounds to integers, or nothing when it is text
    // that is no number or too large for any integer.
    std::optional<qint64> wholeNumber() const
    {
        const std::optional<double> v = convert.toDouble(text);
        if (!v)
            return std::nullopt;
        return JetConvert::roundToInteger(*v, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    }
};

// One key of the settings table: its name, the values it takes, and how it fills the settings.
struct KeyReader
{
    QLatin1StringView key;
    qint64 low;
    qint64 high;
    void (*read)(const StoredValue &value, const KeyReader &row, Settings &settings);
};

// Any number steps the double-click state on to 0, 1, or 2 and above.
void readDoubleClick(const StoredValue &value, const KeyReader &row, Settings &settings)
{
    const int fallback = Settings().dblClickState();
    const std::optional<qint16> v = value.convert.toInt16(value.text);
    if (!v)
        value.fallBack(row.low, row.high, QString::number(fallback));
    const int target = !v ? fallback
        : *v > 1          ? Settings::MiniMonitor
        : *v > 0          ? Settings::ChartWindow
                          : Settings::MonitorWindow;
    settings.stepDblClickTo(target);
    settings.confirmDblClick();
}

template <auto Field> void readText(const StoredValue &value, const KeyReader &, Settings &settings)
{
    settings.*Field = value.text;
}

// A check box takes 0, 1 or 2 and a list one of its indexes (or -1), as the dialog's controls take them.
template <auto Field> void readIndex(const StoredValue &value, const KeyReader &row, Settings &settings)
{
    const std::optional<qint16> v = value.convert.toInt16(value.text);
    if (v && *v >= row.low && *v <= row.high) {
        settings.*Field = *v;
        return;
    }
    settings.*Field = Settings().*Field;
    value.fallBack(row.low, row.high, QString::number(settings.*Field));
}

// A whole number within the key's range, and its text as the dialog shows it.
template <auto Number, auto Text> void readWhole(const StoredValue &value, const KeyReader &row, Settings &settings)
{
    std::optional<qint64> v = value.wholeNumber();
    if (!v || *v < row.low || *v > row.high) {
        const qint64 fallback = Settings().*Number;
        value.fallBack(row.low, row.high, QString::number(fallback));
        v = fallback;
    }
    settings.*Number = static_cast<std::remove_reference_t<decltype(settings.*Number)>>(*v);
    settings.*Text = QString::number(*v);
}

void readMegabytes(const StoredValue &value, const KeyReader &row, Settings &settings)
{
    const std::optional<double> v = value.convert.toDouble(value.text);
    if (v && *v >= double(row.low) && *v <= double(row.high)) {
        settings.maxMB = *v;
        settings.maxMBText = NumberText::plain(*v);
        return;
    }
    const Settings defaults;
    value.fallBack(row.low, row.high, defaults.maxMBText);
    settings.maxMB = defaults.maxMB;
    settings.maxMBText = defaults.maxMBText;
}

// The type and the list's index are one value read twice; both or neither.
void readPeriodType(const StoredValue &value, const KeyReader &row, Settings &settings)
{
    const std::optional<qint32> type = value.convert.toInt32(value.text);
    const std::optional<qint16> item = value.convert.toInt16(value.text);
    if (type && item && *item >= row.low && *item <= row.high) {
        settings.periodType = *type;
        settings.periodTypeIndex = *item;
        return;
    }
    const Settings defaults;
    value.fallBack(row.low, row.high, QString::number(defaults.periodTypeIndex));
    settings.periodType = defaults.periodType;
    settings.periodTypeIndex = defaults.periodTypeIndex;
}

const QList<KeyReader> &keyReaders()
{
    static const QList<KeyReader> rows = {
        {"DblClick"_L1, -32768, 32767, readDoubleClick},
        {"ExportFolder"_L1, 0, 0, readText<&Settings::exportFolder>},
        {"kilobit"_L1, 0, 2, readIndex<&Settings::kilobitState>},
        {"whatsleft"_L1, 0, 2, readIndex<&Settings::whatsLeftState>},
        {"Playwav"_L1, 0, 2, readIndex<&Settings::playWavState>},
        {"maxmbsize"_L1, 0, qint64(MaxMBLimit), readMegabytes},
        {"logperiodtype"_L1, -1, Settings::periodTypeItems().size() - 1, readPeriodType},
        {"logperiod"_L1, 0, PeriodLimit, readWhole<&Settings::periodLength, &Settings::periodLengthText>},
        {"logstartday"_L1, 1, 31, readWhole<&Settings::startDay, &Settings::startDayText>},
        {"RouterURL"_L1, 0, 0, readText<&Settings::routerUrl>},
        {"RouterName"_L1, 0, 0, readText<&Settings::routerName>},
        {"Notify"_L1, 0, 2, readIndex<&Settings::notifyState>},
        {"MonitorTrans"_L1, -1, Settings::transparencyItems().size() - 1, readIndex<&Settings::monitorTransIndex>},
    };
    return rows;
}

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
    // Keys are matched exactly, case and all; unknown keys (the adapter rows among them)
    // are left to their own readers.
    for (const KeyReader &row : keyReaders()) {
        if (key == row.key) {
            row.read(StoredValue {key, stored, stored.toString(), convert, m_diagnostics}, row, settings);
            return;
        }
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
