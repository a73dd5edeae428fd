// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Clock.h"

#include <QTest>

#include <ctime>

using namespace Qt::StringLiterals;

// The system clock keeps the local UTC offset instead of asking for it at every reading: it
// must still give what Qt's local time gives, across a change of daylight saving and a change
// of TZ.
class TestSystemClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheZonesChanges()
    {
        SystemClock clock;
        const auto check = [&](int offset) {
            const QDateTime local = QDateTime::currentDateTime();
            const QDateTime now = clock.now();
            QCOMPARE(now.offsetFromUtc(), offset);
            QCOMPARE(local.offsetFromUtc(), offset);
            QVERIFY2(qAbs(now.msecsTo(local)) < 500 && qAbs(now.time().msecsTo(local.time())) < 500,
                qPrintable(now.toString(Qt::ISODateWithMs) + u" "_s + local.toString(Qt::ISODateWithMs)));
        };
        (void)clock.now();
        // A zone whose summer time begins two seconds from now and ends a second later, with
        // standard time chosen so that both fall near noon of one day.
        const int hours = 12 - QDateTime::currentDateTimeUtc().time().hour();
        const qint64 begins = QDateTime::currentSecsSinceEpoch() + 2;
        const QDateTime noon = QDateTime::fromSecsSinceEpoch(begins + hours * 3600, Qt::UTC);
        const QString rule = u"XST%1XDT,%2/%3,%2/%4"_s.arg(-hours).arg(noon.date().dayOfYear() - 1).arg(
            noon.time().toString(u"HH:mm:ss"_s), noon.time().addSecs(3601).toString(u"HH:mm:ss"_s));
        qputenv("TZ", rule.toLatin1());
        tzset();
        check(hours * 3600);
        for (const auto &[second, offset] : {std::pair {0, hours * 3600 + 3600}, std::pair {1, hours * 3600}}) {
            while (QDateTime::currentMSecsSinceEpoch() < (begins + second) * 1000 + 100)
                QTest::qWait(50);
            check(offset);
        }
        qputenv("TZ", "Asia/Tokyo");
        check(9 * 3600);
    }
};

QTEST_GUILESS_MAIN(TestSystemClock)
#include "tst_systemclock.moc"
