// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "core/Settings.h"
#include "core/traffic/AllowanceNotices.h"
#include "core/traffic/RunCounters.h"

#include <QTest>

#include <functional>
#include <memory>
#include <tuple>

using namespace Qt::StringLiterals;

class TestAllowanceNotices : public QObject
{
    Q_OBJECT

    TestDatabase m_db;
    FakeClock m_clock {QDateTime(QDate(2026, 12, 16), QTime(0, 0))};
    Settings m_settings;
    RunCounters m_counters;

private Q_SLOTS:
    void init()
    {
        m_db.exec(u"delete from settings"_s);
        m_clock.set(QDateTime(QDate(2026, 12, 16), QTime(0, 0)));
        m_settings = Settings();
        m_settings.whatsLeftState = 1;
        m_settings.maxMB = 100; // monthly from the 1st: 2 to 16 December is the 15 days of a forecast
        m_settings.periodType = 2;
    }

    void oncePerStepAndWindow_data()
    {
        QTest::addColumn<QString>("polls"); // the alerts of the polls, and what happens between them
        QTest::addColumn<QString>("told");
        QTest::newRow("30 % then 15 %, once each") << u"G O O R R O R"_s << u"30 15"_s;
        QTest::newRow("a restart in the window") << u"O restart O R restart R O"_s << u"30 15"_s;
        QTest::newRow("later the same day") << u"O hours O R hours R"_s << u"30 15"_s;
        QTest::newRow("a new window, after a restart too") << u"O R month R restart month O R"_s << u"30 15 15 30 15"_s;
        QTest::newRow("a sliding window moves on a day") << u"days O hours O day O"_s << u"30 30"_s;
        QTest::newRow("switched off, then on") << u"off O R restart R on R"_s << u"15"_s;
        QTest::newRow("line hidden or no allowance") << u"hidden O R shown none O R"_s << QString();
        QTest::newRow("straight to 15 %") << u"G R O restart O"_s << u"15"_s;
        QTest::newRow("stored text that is no date") << u"garbage O R"_s << u"30 15"_s;
    }

    // Notices go by the alert the poll gave the line: once per step in a tracking window, across
    // restarts (the settings table remembers), again in a new window.
    void oncePerStepAndWindow()
    {
        QFETCH(QString, polls);
        QFETCH(QString, told);
        auto notices = std::make_unique<AllowanceNotices>(m_db.path(), m_clock, m_settings, m_counters);
        QStringList given;
        for (const QString &step : polls.split(u' ')) {
            const QHash<QString, VolumeAlert> alerts {
                {u"G"_s, VolumeAlert::Green}, {u"O"_s, VolumeAlert::Orange}, {u"R"_s, VolumeAlert::Red}};
            if (alerts.contains(step)) {
                if (const std::optional<AllowanceNotice> notice = notices->check(alerts.value(step)))
                    given << QString::number(notice->percent);
            } else if (step == u"restart"_s) {
                notices = std::make_unique<AllowanceNotices>(m_db.path(), m_clock, m_settings, m_counters);
            } else if (step == u"garbage"_s) {
                m_db.exec(u"insert into settings values('Notified30','16.12.2026'),('notified15','')"_s);
            } else {
                const QHash<QString, std::function<void()>> changes {{u"month"_s, [&] { m_clock.advanceDays(31); }},
                    {u"day"_s, [&] { m_clock.advanceDays(1); }},
                    {u"hours"_s, [&] { m_clock.advanceSeconds(23 * 3600); }},
                    {u"days"_s, [&] { m_settings.periodType = 0; }}, {u"off"_s, [&] { m_settings.notifyState = 0; }},
                    {u"on"_s, [&] { m_settings.notifyState = 1; }},
                    {u"hidden"_s, [&] { m_settings.whatsLeftState = 0; }},
                    {u"shown"_s, [&] { m_settings.whatsLeftState = 1; }}, {u"none"_s, [&] { m_settings.maxMB = 0; }}};
                QVERIFY2(changes.contains(step), qPrintable(step));
                changes.value(step)();
            }
        }
        QCOMPARE(given.join(u' '), told);
    }

    // The volume-left line's figures, the cached logged volume and the current row (5 MB): 75 MB in
    // 27 days is 75 / 27 * 31 = 86.1 MB on 1 January, when the next window starts; 120 MB in 15
    // days 248 MB. (That the date it runs out is the report's: tests/program/notifications.sh.)
    void noticeCarriesTheForecast()
    {
        m_counters.baseIn = 3e9;
        m_counters.curIn = 3e9 + 4 * 1048576.0;
        m_counters.baseOut = m_counters.curOut - 1048576.0;
        for (const auto &[day, loggedMB, says] :
            {std::tuple {28, 70.0, u"At this pace it lasts: 86.1 MB used at the window's end"_s},
                std::tuple {16, 115.0, u"20 MB over the allowance of 100 MB.\nAt this pace 248.0 MB"_s}}) {
            m_db.exec(u"delete from settings"_s);
            m_clock.set(QDateTime(QDate(2026, 12, day), QTime(0, 0)));
            m_settings.cachedVolume = loggedMB;
            const std::optional<AllowanceNotice> notice
                = AllowanceNotices(m_db.path(), m_clock, m_settings, m_counters).check(VolumeAlert::Red);
            QVERIFY2(notice && notice->body.contains(says), notice ? qPrintable(notice->body) : "none");
        }
    }
};

QTEST_GUILESS_MAIN(TestAllowanceNotices)
#include "tst_allowancenotices.moc"
