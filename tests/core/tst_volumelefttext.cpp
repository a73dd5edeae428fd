#include "AsOtherUser.h"
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/RunCounters.h"
#include "core/Settings.h"
#include "core/VolumeLeftText.h"
#include "core/WarningSound.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr double MB = 1024.0 * 1024.0;

class RecordingSound final : public WarningSound
{
public:
    void play(const QString &path) override { played << path; }
    QStringList played;
};

// Everything a VolumeLeftText needs, with sounds on and the monitor's allowance of 1000 MB.
struct Rig
{
    explicit Rig(QDateTime now = QDateTime(QDate(2026, 12, 9), QTime(13, 45, 10)))
        : clock(std::move(now))
    {
        settings.playWavState = 1;
    }

    // The current row's traffic, split over both directions and above non-zero bases, so that
    // a formula that forgets a direction or a base shows.
    void setRunMB(double mb)
    {
        counters.baseIn = 3e9;
        counters.curIn = 3e9 + mb * MB * 0.75;
        counters.baseOut = 1e9;
        counters.curOut = 1e9 + mb * MB * 0.25;
    }
    void addLogRow(const QString &start, double mb) const
    {
        db.exec(u"insert into Log values('%1','%1',%2,%3,0)"_s.arg(start)
                    .arg(qint64(mb * MB / 3))
                    .arg(qint64(mb * MB) - qint64(mb * MB / 3)));
    }
    QString monitor(double maxMB = 1000) { return volume.text(maxMB, 1, u"0"_s, cache, true, 1); }
    QString sound(const char *name) const { return soundFolder + u'/' + QLatin1String(name); }

    TestDatabase db;
    FakeClock clock;
    RunCounters counters;
    Settings settings;
    RecordingSound player;
    QString soundFolder = u"/opt/varnolt"_s;
    double cache = 0;
    VolumeLeftText volume {db.path(), clock, counters, settings, &player, soundFolder};
};

VolumeAlert alertOf(QChar letter)
{
    switch (letter.unicode()) {
    case 'G':
        return VolumeAlert::Green;
    case 'O':
        return VolumeAlert::Orange;
    case 'R':
        return VolumeAlert::Red;
    default:
        return VolumeAlert::Initial;
    }
}

} // namespace

class TestVolumeLeftText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void texts_data();
    void texts();
    void emptyAllowanceLeavesColour();
    void soundsOncePerCrossing_data();
    void soundsOncePerCrossing();
    void previewChangesNoColourAndPlaysNothing();
    void noSoundPlayerIsSilent();
    void trackingWindow_data();
    void trackingWindow();
    void cacheKeepsTheDatabaseUntouched();
    void nothingLoggedAsksEveryCall();
    void unreadableDatabaseCountsAsNothingLogged_data();
    void unreadableDatabaseCountsAsNothingLogged();
};

void TestVolumeLeftText::texts_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("maxMB");
    QTest::addColumn<double>("loggedMB");
    QTest::addColumn<double>("runMB");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QChar>("alert");

    QTest::newRow("nothing used, comma") << u"de_DE"_s << 1000.0 << 0.0 << 0.0 << u"1000 MB (100,0 %) Left."_s
                                         << QChar(u'G');
    QTest::newRow("nothing used, point") << u"en_US"_s << 1000.0 << 0.0 << 0.0 << u"1000 MB (100.0 %) Left."_s
                                         << QChar(u'G');
    QTest::newRow("logged plus row") << u"de_DE"_s << 1000.0 << 300.0 << 83.0 << u"617 MB (61,7 %) Left."_s
                                     << QChar(u'G');
    QTest::newRow("no digit grouping, en")
        << u"en_US"_s << 5000.0 << 1000.0 << 766.0 << u"3234 MB (64.7 %) Left."_s << QChar(u'G');
    QTest::newRow("no digit grouping, de")
        << u"de_DE"_s << 5000.0 << 1000.0 << 766.0 << u"3234 MB (64,7 %) Left."_s << QChar(u'G');
    QTest::newRow("orange") << u"de_DE"_s << 1000.0 << 0.0 << 725.0 << u"275 MB (27,5 %) Left."_s << QChar(u'O');
    QTest::newRow("red") << u"de_DE"_s << 1000.0 << 600.0 << 300.0 << u"100 MB (10,0 %) Left."_s << QChar(u'R');
    QTest::newRow("over, logged") << u"de_DE"_s << 1000.0 << 1000.0 << 20.0 << u"-20 MB Left."_s << QChar(u'R');
    QTest::newRow("over, row only") << u"en_US"_s << 1000.0 << 0.0 << 1020.0 << u"-20 MB Left."_s << QChar(u'R');
    QTest::newRow("exactly used up") << u"de_DE"_s << 1000.0 << 1000.0 << 0.0 << u"0 MB Left."_s << QChar(u'R');
    QTest::newRow("fractional allowance") << u"de_DE"_s << 1.5 << 0.0 << 0.5 << u"1 MB (66,7 %) Left."_s << QChar(u'G');
    QTest::newRow("no allowance") << u"de_DE"_s << 0.0 << 300.0 << 10.0 << QString() << QChar(u'I');
    QTest::newRow("negative allowance") << u"en_US"_s << -5.0 << 0.0 << 10.0 << QString() << QChar(u'I');
}

void TestVolumeLeftText::texts()
{
    QFETCH(QString, locale);
    QFETCH(double, maxMB);
    QFETCH(double, loggedMB);
    QFETCH(double, runMB);
    QFETCH(QChar, alert);
    QLocale::setDefault(QLocale(locale));
    Rig rig;
    if (loggedMB > 0)
        rig.addLogRow(u"2026-12-09 08:00:00"_s, loggedMB);
    rig.setRunMB(runMB);

    QTEST(rig.monitor(maxMB), "expected");
    QCOMPARE(rig.volume.alert(), alertOf(alert));
    // The first evaluation of a run only sets the colour.
    QCOMPARE(rig.player.played, QStringList());
    QCOMPARE(rig.cache, loggedMB);
}

void TestVolumeLeftText::emptyAllowanceLeavesColour()
{
    Rig rig;
    rig.setRunMB(725);
    QCOMPARE(rig.monitor(), u"275 MB (27,5 %) Left."_s);
    QCOMPARE(rig.volume.alert(), VolumeAlert::Orange);
    rig.setRunMB(990);
    QCOMPARE(rig.monitor(0), QString());
    QCOMPARE(rig.monitor(-1), QString());
    QCOMPARE(rig.volume.alert(), VolumeAlert::Orange);
    QCOMPARE(rig.player.played, QStringList());
}

void TestVolumeLeftText::soundsOncePerCrossing_data()
{
    // Steps of one run against 1000 MB: the MB used at each poll, whether the sound option is
    // on at that poll, the colours after each poll and the sounds played over all of them.
    QTest::addColumn<QList<int>>("usedMB");
    QTest::addColumn<QString>("soundOption");
    QTest::addColumn<QString>("colours");
    QTest::addColumn<QStringList>("sounds");

    const QStringList none;
    const QStringList at15 {u"15Percent.wav"_s};
    const QStringList at30 {u"30Percent.wav"_s};
    QTest::newRow("first poll below 15 %") << QList<int> {860, 870} << u"11"_s << u"RR"_s << none;
    QTest::newRow("first poll below 30 %") << QList<int> {710, 720} << u"11"_s << u"OO"_s << none;
    QTest::newRow("31 % to 14 %: only the 15 % sound") << QList<int> {690, 860} << u"11"_s << u"GR"_s << at15;
    QTest::newRow("31, 29, 14 %: each sound once")
        << QList<int> {690, 710, 720, 860, 900} << u"11111"_s << u"GOORR"_s << at30 + at15;
    QTest::newRow("30 % is green, 15 % orange")
        << QList<int> {700, 701, 850, 851} << u"1111"_s << u"GOOR"_s << at30 + at15;
    QTest::newRow("used up from green: red, silent") << QList<int> {690, 1020, 860} << u"111"_s << u"GRR"_s << none;
    QTest::newRow("option off, then on for the 15 % crossing")
        << QList<int> {690, 710, 860} << u"001"_s << u"GOR"_s << at15;
    QTest::newRow("option off throughout") << QList<int> {690, 710, 860} << u"000"_s << u"GOR"_s << none;
    QTest::newRow("back to green silently, then again")
        << QList<int> {690, 710, 500, 710, 0, 860} << u"111111"_s << u"GOGOGR"_s << at30 + at30 + at15;
    QTest::newRow("red back to orange silently, then red again")
        << QList<int> {690, 860, 750, 860} << u"1111"_s << u"GROR"_s << at15 + at15;
}

void TestVolumeLeftText::soundsOncePerCrossing()
{
    QFETCH(QList<int>, usedMB);
    QFETCH(QString, soundOption);
    QFETCH(QString, colours);
    QFETCH(QStringList, sounds);
    Rig rig;
    for (int i = 0; i < usedMB.size(); ++i) {
        rig.settings.playWavState = soundOption.at(i) == u'1' ? 1 : 0;
        rig.setRunMB(usedMB.at(i));
        rig.monitor();
        QCOMPARE(rig.volume.alert(), alertOf(colours.at(i)));
    }
    QStringList expected;
    for (const QString &name : sounds)
        expected << rig.sound(name.toLatin1().constData());
    QCOMPARE(rig.player.played, expected);
}

void TestVolumeLeftText::previewChangesNoColourAndPlaysNothing()
{
    Rig rig;
    QDateTime previewStart;
    QDateTime monitorStart;
    double previewCache = 0;
    const auto preview = [&] {
        previewCache = 0;
        return rig.volume.text(1000, 2, u"1"_s, previewCache, false, 1, &previewStart);
    };
    rig.setRunMB(860);
    QCOMPARE(preview(), u"140 MB (14,0 %) Left."_s);
    QCOMPARE(rig.volume.alert(), VolumeAlert::Initial);

    rig.setRunMB(690);
    rig.monitor();
    for (int used : {860, 1020}) {
        rig.setRunMB(used);
        QVERIFY(!preview().isEmpty());
        QCOMPARE(rig.volume.alert(), VolumeAlert::Green);
    }
    QCOMPARE(rig.player.played, QStringList());
    // The monitor's call gives the same text and window, and does turn red.
    const QString previewText = preview();
    QCOMPARE(rig.volume.text(1000, 2, u"1"_s, rig.cache, true, 1, &monitorStart), previewText);
    QCOMPARE(monitorStart, previewStart);
    QCOMPARE(rig.volume.alert(), VolumeAlert::Red);
}

void TestVolumeLeftText::noSoundPlayerIsSilent()
{
    Rig rig;
    VolumeLeftText silent(rig.db.path(), rig.clock, rig.counters, rig.settings, nullptr, rig.soundFolder);
    for (int used : {690, 710, 860}) {
        rig.setRunMB(used);
        silent.text(1000, 1, u"0"_s, rig.cache, true, 1);
    }
    QCOMPARE(silent.alert(), VolumeAlert::Red);
}

void TestVolumeLeftText::trackingWindow_data()
{
    // The first moment that no longer counts (00:00 of the day the window starts) and what
    // the options dialog shows as the window's start, both worked out on the calendar.
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("periodType");
    QTest::addColumn<int>("periodLength");
    QTest::addColumn<int>("startDay");
    QTest::addColumn<QDate>("firstDayOut");
    QTest::addColumn<QDateTime>("windowStart");

    const QDateTime wednesday(QDate(2026, 12, 9), QTime(13, 45, 10));
    const auto at9 = [](int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(9, 0)); };
    const auto midnight = [](int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(0, 0)); };

    QTest::newRow("two weeks on a Wednesday") << u"de_DE"_s << wednesday << u"1"_s << 2 << 1 << QDate(2026, 11, 25)
                                              << QDateTime(QDate(2026, 11, 25), QTime(13, 45, 10));
    // Finnish writes times with "." and must still count the same rows.
    QTest::newRow("two weeks, fi") << u"fi_FI"_s << wednesday << u"1"_s << 2 << 1 << QDate(2026, 11, 25)
                                   << QDateTime(QDate(2026, 11, 25), QTime(13, 45, 10));
    QTest::newRow("three days") << u"en_US"_s << wednesday << u"0"_s << 3 << 1 << QDate(2026, 12, 6)
                                << QDateTime(QDate(2026, 12, 6), QTime(13, 45, 10));
    QTest::newRow("unknown type counts days") << u"de_DE"_s << wednesday << u"7"_s << 3 << 20 << QDate(2026, 12, 6)
                                              << QDateTime(QDate(2026, 12, 6), QTime(13, 45, 10));
    QTest::newRow("start day 15 on the 20th")
        << u"de_DE"_s << at9(2026, 6, 20) << u"2"_s << 1 << 15 << QDate(2026, 5, 15) << midnight(2026, 5, 15);
    QTest::newRow("start day 15 on the 15th") << u"de_DE"_s << QDateTime(QDate(2026, 6, 15), QTime(0, 0, 5)) << u"2"_s
                                              << 1 << 15 << QDate(2026, 5, 15) << midnight(2026, 5, 15);
    QTest::newRow("start day 15 on the 14th")
        << u"de_DE"_s << at9(2026, 6, 14) << u"2"_s << 1 << 15 << QDate(2026, 4, 15) << midnight(2026, 4, 15);
    QTest::newRow("start day 15 in January")
        << u"de_DE"_s << at9(2026, 1, 10) << u"2"_s << 1 << 15 << QDate(2025, 11, 15) << midnight(2025, 11, 15);
    // Counted from 30 April, the last day of the month before; one month before it is 30 March.
    QTest::newRow("start day 31 on 10 May")
        << u"de_DE"_s << at9(2026, 5, 10) << u"2"_s << 1 << 31 << QDate(2026, 3, 30) << midnight(2026, 3, 30);
    QTest::newRow("start day 31 on 10 March")
        << u"de_DE"_s << at9(2026, 3, 10) << u"2"_s << 1 << 31 << QDate(2026, 1, 28) << midnight(2026, 1, 28);
    QTest::newRow("start day 31 on 10 March of a leap year")
        << u"de_DE"_s << at9(2028, 3, 10) << u"2"_s << 1 << 31 << QDate(2028, 1, 29) << midnight(2028, 1, 29);
    QTest::newRow("start day 31 on the 31st")
        << u"de_DE"_s << at9(2026, 5, 31) << u"2"_s << 1 << 31 << QDate(2026, 4, 30) << midnight(2026, 4, 30);
    QTest::newRow("two months from the 1st")
        << u"de_DE"_s << at9(2026, 6, 20) << u"2"_s << 2 << 1 << QDate(2026, 4, 1) << midnight(2026, 4, 1);
}

void TestVolumeLeftText::trackingWindow()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, now);
    QFETCH(QString, periodType);
    QFETCH(int, periodLength);
    QFETCH(int, startDay);
    QFETCH(QDate, firstDayOut);
    QLocale::setDefault(QLocale(locale));
    Rig rig(now);
    // Each row carries its own power of two in MB, so the sum tells which rows counted:
    // 00:00 itself is out, a second later is in, a second earlier is out, an hour ago is in.
    const QDateTime edge(firstDayOut, QTime(0, 0));
    const QString stored = u"yyyy-MM-dd HH:mm:ss"_s;
    rig.addLogRow(edge.toString(stored), 1);
    rig.addLogRow(edge.addSecs(1).toString(stored), 2);
    rig.addLogRow(edge.addSecs(-1).toString(stored), 4);
    rig.addLogRow(now.addSecs(-3600).toString(stored), 8);

    QDateTime windowStart;
    const QString text
        = rig.volume.text(1000, periodLength, periodType, rig.cache, true, qint16(startDay), &windowStart);
    QCOMPARE(rig.cache, 10.0);
    QVERIFY2(text.startsWith(u"990 MB ("_s), qPrintable(text));
    QTEST(windowStart, "windowStart");
}

void TestVolumeLeftText::cacheKeepsTheDatabaseUntouched()
{
    Rig rig;
    rig.addLogRow(u"2026-12-08 10:00:00"_s, 300);
    QCOMPARE(rig.monitor(), u"700 MB (70,0 %) Left."_s);
    QCOMPARE(rig.cache, 300.0);

    // Rows written later are not seen while the cache holds...
    rig.addLogRow(u"2026-12-09 10:00:00"_s, 100);
    rig.setRunMB(50);
    QCOMPARE(rig.monitor(), u"650 MB (65,0 %) Left."_s);
    // ...until the cache is cleared, as the poll does after writing a row.
    rig.cache = 0;
    QCOMPARE(rig.monitor(), u"550 MB (55,0 %) Left."_s);
    QCOMPARE(rig.cache, 400.0);

    // With the database gone, or moved away, the text still comes from the cache.
    QVERIFY(QFile::rename(rig.db.path(), rig.db.path() + u".moved"_s));
    QCOMPARE(rig.monitor(), u"550 MB (55,0 %) Left."_s);
    QVERIFY(QFile::remove(rig.db.path() + u".moved"_s));
    rig.setRunMB(60);
    QCOMPARE(rig.monitor(), u"540 MB (54,0 %) Left."_s);
    QCOMPARE(rig.cache, 400.0);
}

void TestVolumeLeftText::nothingLoggedAsksEveryCall()
{
    Rig rig;
    // Marker rows (all zeros) sum to 0, which is no cached volume.
    rig.addLogRow(u"2026-12-09 00:00:00"_s, 0);
    QCOMPARE(rig.monitor(), u"1000 MB (100,0 %) Left."_s);
    QCOMPARE(rig.cache, 0.0);
    QCOMPARE(rig.monitor(), u"1000 MB (100,0 %) Left."_s);

    rig.addLogRow(u"2026-12-09 10:00:00"_s, 200);
    QCOMPARE(rig.monitor(), u"800 MB (80,0 %) Left."_s);
    QCOMPARE(rig.cache, 200.0);
}

void TestVolumeLeftText::unreadableDatabaseCountsAsNothingLogged_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("missing file") << u"missing"_s;
    QTest::newRow("not a database") << u"garbage"_s;
    QTest::newRow("no Log table") << u"no table"_s;
    QTest::newRow("no read access") << u"no access"_s;
    QTest::newRow("locked by another program") << u"locked"_s;
}

void TestVolumeLeftText::unreadableDatabaseCountsAsNothingLogged()
{
    QFETCH(QString, fault);
    Rig rig;
    rig.addLogRow(u"2026-12-09 10:00:00"_s, 300);
    rig.setRunMB(100);
    const QString path = rig.db.path();

    StoreSession holder(path);
    std::optional<AsOtherUser> nobody;
    if (fault == u"missing"_s) {
        QVERIFY(QFile::remove(path));
    } else if (fault == u"garbage"_s) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("This is not a database file, it only lies where one should.\n");
    } else if (fault == u"no table"_s) {
        rig.db.exec(u"drop table Log"_s);
    } else if (fault == u"no access"_s) {
        QFile::setPermissions(path, QFileDevice::Permissions());
        nobody.emplace();
    } else if (fault == u"locked"_s) {
        QVERIFY(holder.open());
        QVERIFY(holder.executeNative(u"begin exclusive"_s));
    }

    // One warning for the outage, however many polls it lasts.
    const QRegularExpression warning(u"logged volume not read"_s);
    QTest::ignoreMessage(QtWarningMsg, warning);
    QTest::failOnWarning(warning);
    for (int poll = 0; poll < 3; ++poll) {
        QCOMPARE(rig.monitor(), u"900 MB (90,0 %) Left."_s);
        QCOMPARE(rig.cache, 0.0);
    }
    QCOMPARE(rig.volume.alert(), VolumeAlert::Green);

    if (fault == u"locked"_s) {
        holder.rollback();
        QCOMPARE(rig.monitor(), u"600 MB (60,0 %) Left."_s);
        QCOMPARE(rig.cache, 300.0);
    }
}

QTEST_GUILESS_MAIN(TestVolumeLeftText)
#include "tst_volumelefttext.moc"
