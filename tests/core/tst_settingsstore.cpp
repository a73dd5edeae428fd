// SPDX-License-Identifier: GPL-3.0-or-later
#include "StartupRun.h"
#include "TestDatabase.h"

#include "core/SettingsStore.h"

#include <QFile>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSettingsStore : public QObject
{
    Q_OBJECT

    // Loads db after inserting the given "(name, value), ..." rows; the load must succeed.
    static Settings loadedWith(const TestDatabase &db, const QString &rows)
    {
        if (!rows.isEmpty())
            db.exec(u"insert into settings values "_s + rows);
        Settings settings;
        StoreSession session(db.path());
        if (!session.open() || !SettingsStore(db.path()).load(session, settings))
            QTest::qFail("the settings did not load", __FILE__, __LINE__);
        return settings;
    }

    // Each stored key with the text the options dialog shows for it.
    static QMap<QString, QString> shown(const Settings &s)
    {
        QMap<QString, QString> map;
        for (const auto &[key, text] : s.storedValues())
            map.insert(key, text);
        return map;
    }

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Keys match with their case ("dblclick" is not "DblClick"), of two rows of a key the last
    // wins, and numbers read as the user writes them: "1.500" is fifteen hundred in German.
    void loadsEveryKey()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TestDatabase db;
        const Settings s = loadedWith(db,
            QStringLiteral("('DblClick','1'), ('ExportFolder','/home/u/t.csv'), ('kilobit','1'), ('whatsleft','1'), "
                           "('maxmbsize','100'), ('logperiodtype','2'), ('logperiod','2,5'), ('logstartday','14,5'), "
                           "('MonitorTrans','2'), ('Playwav','1'), ('Adapter0','eth0'), ('dblclick','2'), "
                           "('RouterURL','http://10.0.0.1/'), ('RouterName','Box'), ('Notify','2'), "
                           "('Unknown','x'), ('maxmbsize','1.500')"));
        QVERIFY(s.dblClickChart());
        QCOMPARE(s.exportFolder, u"/home/u/t.csv"_s);
        QVERIFY(s.kilobit() && s.whatsLeft() && s.playWav());
        // Halves go to the even number.
        QCOMPARE(QList<double>({s.maxMB, double(s.periodType), double(s.periodLength), double(s.startDay)}),
            QList<double>({1500, 2, 2, 14}));
        const QMap<QString, QString> expected {{u"DblClick"_s, u"1"_s}, {u"kilobit"_s, u"1"_s},
            {u"whatsleft"_s, u"1"_s}, {u"logperiod"_s, u"2"_s}, {u"logperiodtype"_s, u"2"_s},
            {u"maxmbsize"_s, u"1500"_s}, {u"MonitorTrans"_s, u"2"_s}, {u"logstartday"_s, u"14"_s},
            {u"Playwav"_s, u"1"_s}, {u"RouterURL"_s, u"http://10.0.0.1/"_s}, {u"RouterName"_s, u"Box"_s},
            {u"Notify"_s, u"2"_s}};
        QCOMPARE(shown(s), expected);
    }

    void unusableValuesFallBack_data()
    {
        // What start-up loads for a stored value: the number, or the key's default with a
        // diagnostic line when the key cannot take it; start-up goes on either way.
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("sql"); // the value as an SQL literal
        QTest::addColumn<QString>("loaded"); // the value as the dialog shows it
        QTest::addColumn<bool>("fallback");

        const struct
        {
            const char *key;
            const char *defaultText;
            QList<std::pair<const char *, const char *>> usable; // value, shown
            QStringList outOfRange;
        } keys[] = {
            {"logperiod", "0", {{"0", "0"}, {"365", "365"}, {"365.4", "365"}, {"2.5000001", "3"}},
                {u"366"_s, u"365.5"_s}},
            {"maxmbsize", "0", {{"0", "0"}, {"5,120,000", "5120000"}, {"0.5", "0.5"}}, {u"5120001"_s, u"1e999"_s}},
            {"logstartday", "1", {{"1", "1"}, {"31", "31"}}, {u"0"_s, u"32"_s, u"40000"_s}},
            {"kilobit", "0", {{"2", "2"}}, {u"3"_s}},
            {"MonitorTrans", "0", {{"-1", "-1"}, {"3", "3"}}, {u"4"_s}},
            {"logperiodtype", "0", {{"-1", "-1"}, {"2", "2"}}, {u"3"_s, u"40000"_s}},
            // Any number steps the double-click state: up to 0, 1, or 2 and above, rounded to even.
            {"DblClick", "0", {{"-32768.5", "0"}, {"1", "1"}, {"5", "2"}, {"1.5", "2"}, {"2.5", "2"}, {"0.5", "0"}},
                {u"32767.5"_s}},
        };
        for (const auto &k : keys) {
            const QString key = QString::fromLatin1(k.key);
            for (const auto &[value, shown] : k.usable)
                QTest::addRow("%s %s", k.key, value)
                    << key << u"'%1'"_s.arg(QLatin1String(value)) << QString::fromLatin1(shown) << false;
            QStringList unusable = k.outOfRange;
            if (key != u"DblClick"_s)
                unusable << u"-5"_s << u"-2147483648"_s << u"2147483647"_s;
            for (const QString &value : unusable + QStringList {u"five"_s, QString()})
                QTest::addRow("%s '%s'", k.key, qPrintable(value))
                    << key << u"'%1'"_s.arg(value) << QString::fromLatin1(k.defaultText) << true;
            QTest::addRow("%s NULL", k.key) << key << u"NULL"_s << QString::fromLatin1(k.defaultText) << true;
        }
    }

    void unusableValuesFallBack()
    {
        QFETCH(QString, key);
        QFETCH(QString, sql);
        QFETCH(QString, loaded);
        QFETCH(bool, fallback);
        TestDatabase db;
        db.exec(u"insert into settings values ('%1',%2)"_s.arg(key, sql));
        StartupRun run(db.path(), db.folder() + u"/varnolt.log"_s);
        const QString held = sql == u"NULL"_s ? u"no value"_s : u'"' + sql.mid(1, sql.size() - 2) + u'"';
        const QRegularExpression diagnostic(
            u"\"%1\" holds %2, .*; %3 is used instead"_s.arg(key, QRegularExpression::escape(held), loaded));
        if (fallback)
            QTest::ignoreMessage(QtWarningMsg, diagnostic);
        QTest::failOnWarning(QRegularExpression(u".*"_s));

        QVERIFY2(run.startup.run(), qPrintable(run.startup.errorString()));
        QFile file(run.log.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).contains(diagnostic), fallback);
        // The run's start marker: the program meters.
        QCOMPARE(db.rows(u"select count(*) from Log"_s), QStringList {u"1"_s});

        const Settings &s = run.settings;
        QCOMPARE(shown(s).value(key), loaded);
        const QMap<QString, double> number {{u"logperiod"_s, s.periodLength}, {u"maxmbsize"_s, s.maxMB},
            {u"logstartday"_s, s.startDay}, {u"logperiodtype"_s, s.periodType}};
        if (number.contains(key))
            QCOMPARE(number.value(key), loaded.toDouble());
    }

    // A key's rows go whatever their case and one row per key remains; the adapter rows are
    // replaced whole; values unlike the defaults, a text with quotes among them, read back as written.
    void writeReplacesTheKeyRows()
    {
        TestDatabase db;
        db.exec(QStringLiteral("insert into settings values ('maxmbsize','1'), ('MAXMBSIZE','2'), ('kilobit','0'), "
                               "('Adapter0','eth0'), ('adapter5','wlan0'), ('MyAdapter','x')"));
        Settings s;
        s.maxMBText = u"3000"_s;
        s.stepDblClickTo(Settings::MiniMonitor);
        s.routerUrl = u"http://10.0.0.1/"_s;
        s.routerName = u"Jan's box"_s;
        s.notifyState = 2;
        const QString folder = u"/home/o'neil/''t\".csv"_s;
        SettingsStore store(db.path());
        QVERIFY(store.write(s.storedValues() << QPair(u"ExportFolder"_s, folder)));
        QVERIFY(store.writeAdapterSelection({{1, u"enp3s0"_s}, {3, u"wlp2s0"_s}}));
        QCOMPARE(db.rows(u"select * from settings where Settingname like '%adapter%' order by 1"_s),
            QStringList({u"Adapter1|enp3s0"_s, u"Adapter3|wlp2s0"_s, u"MyAdapter|x"_s}));
        QCOMPARE(db.rows(u"select count(*) from settings"_s), QStringList {u"16"_s});
        const Settings back = loadedWith(db, QString());
        QCOMPARE(shown(back), shown(s));
        QCOMPARE(back.exportFolder, folder);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
