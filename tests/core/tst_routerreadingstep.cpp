// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/RouterReadingStep.h"

#include <QTest>

Q_DECLARE_METATYPE(RouterReading)

constexpr quint64 Turn = quint64(1) << 32;
constexpr quint64 Gigabit = 125'000'000; // bytes a second: a turn of 4 GiB in 34.36 s

// A router's answers, untrusted input, and the household's bytes between two: wraps, reboots, gaps.
class TestRouterReadingStep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersAreReadStrictly_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QString>("read"); // empty: refused
        const auto row = [](const char *text, bool wide, const char *read) {
            QTest::addRow("%s%s", text, wide ? " wide" : "") << QByteArray(text) << wide << QString::fromLatin1(read);
        };
        row("796", false, "796");
        row("0004294967295", false, "4294967295");
        row("4294967296", false, "4294967296"); // a 32-bit action that counts wider
        row("4294967296", true, "4294967296");
        row("18446744073709551616", true, "");
        for (const char *junk : {"", "+5", "-1", " 5", "5 ", "0x10", "1e3", "7\n"})
            row(junk, true, "");
    }

    void answersAreReadStrictly()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, wide);
        const std::optional<RouterReading> reading = RouterReading::fromAnswers(text, "5", wide, "up");
        QTEST(reading ? QString::number(reading->received) : QString(), "read");
        if (reading) // an uptime that does not read leaves the counters
            QVERIFY(!reading->uptimeSecs && reading->sent == 5 && reading->wide == wide);
        const std::optional<RouterReading> other = RouterReading::fromAnswers("5", text, wide, "86400");
        QCOMPARE(other ? other->uptimeSecs.value_or(0) : 0u, reading ? 86400u : 0u); // the sent counter alike
    }

    void changeBetweenAnswers_data()
    {
        QTest::addColumn<RouterReading>("before");
        QTest::addColumn<RouterReading>("after");
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<quint64>("in");
        QTest::addColumn<quint64>("out");
        QTest::addColumn<QString>("seen"); // r: rebooted, s: restarted, w: wrapped, a: ambiguous, d: dropped

        const auto row = [](const char *name, RouterReading before, RouterReading after, qint64 elapsed, quint64 in,
                             quint64 out, const char *seen) {
            QTest::newRow(name) << before << after << elapsed << in << out << QString::fromLatin1(seen);
        };
        // At 1 Gbit/s in 5 s (and 2 s for answers late) a counter moves at most 875 MB.
        row("steady", {5000, 700}, {5600, 1000}, 5000, 600, 300, "");
        row("a 32-bit wrap in one direction", {Turn - 100, 10}, {50, 20}, 5000, 150, 10, "w");
        row("a fall too far for a wrap: a reset, from 0", {100, 10}, {50, 20}, 5000, 50, 10, "r");
        row("a wrap in a long gap", {1000, 0}, {500, 0}, 40'000, Turn - 500, 0, "wa");
        row("uptime went back, a counter fell: a reboot, both from 0", {1000, 1000, false, 86400},
            {3000, 200, false, 30}, 5000, 3000, 200, "r");
        row("uptime went back, counters kept: a restart", {1000, 1000, false, 86400}, {3000, 1200, false, 3}, 5000,
            2000, 200, "s");
        row("uptime went on: a fall is a wrap", {Turn - 10, 0, false, 100}, {10, 0, false, 105}, 5000, 20, 0, "w");
        row("a 64-bit counter fell: it alone from 0", {Turn * 9, Turn * 2, true}, {400, Turn * 2 + 9, true}, 5000,
            400, 9, "r");
        row("a 64-bit counter past 2^32", {Turn - 1, 0, true}, {Turn + 1, 5, true}, 5000, 2, 5, "");
        row("a 32-bit action past 2^32 counts wide: a fall is a reset", {Turn * 2, 100}, {5, 300}, 5000, 5, 200, "r");
        row("32 bits became 64: a new counter, too large to count", {900, 900}, {Turn + 7, 1000, true}, 5000, 0,
            1000, "rd");
        row("a change beyond the link: not counted", {0, 0}, {900'000'000, 5}, 5000, 0, 5, "d");
        row("a gap of 34 s at 1 Gbit/s", {0, 0}, {5, 5}, 34'000, 5, 5, "");
        row("a gap of 35 s at 1 Gbit/s: a turn may be missing", {0, 0}, {5, 5}, 35'000, 5, 5, "a");
    }

    void changeBetweenAnswers()
    {
        QFETCH(RouterReading, before);
        QFETCH(RouterReading, after);
        QFETCH(qint64, elapsed);
        RouterReadingStep step;
        QCOMPARE(step.next(before, 0, Gigabit).in, 0u); // the first answer adds nothing
        const RouterReadingStep::Step got = step.next(after, elapsed, Gigabit);
        QTEST(got.in, "in");
        QTEST(got.out, "out");
        const QString seen = QLatin1String(got.rebooted ? "r" : "") + QLatin1String(got.restarted ? "s" : "")
            + QLatin1String(got.wrapped ? "w" : "") + QLatin1String(got.ambiguous ? "a" : "")
            + QLatin1String(got.dropped ? "d" : "");
        QTEST(seen, "seen");
        QCOMPARE(step.next(after, 5000, Gigabit).in, 0u); // the same answer again adds nothing
        step.restart();
        const RouterReadingStep::Step restarted = step.next(before, 0, Gigabit);
        QCOMPARE(restarted.in + restarted.out, 0u); // nor the first answer after a restart
    }

    void aRouterSeenPast32BitsNeverWraps()
    {
        RouterReadingStep step;
        step.next({Turn + 5, 0}, 0, Gigabit); // its 32-bit action answers 33 bits
        const RouterReadingStep::Step reset = step.next({Turn - 100, 0}, 5000, Gigabit);
        QVERIFY(reset.rebooted && !reset.wrapped && reset.dropped && step.countsWide());
        const RouterReadingStep::Step again = step.next({50, 0}, 5000, Gigabit); // a wrap of 150 bytes, were it 32-bit
        QCOMPARE(again.in, 50u);
        QVERIFY(again.rebooted && !again.wrapped && !again.ambiguous);
    }
};

QTEST_GUILESS_MAIN(TestRouterReadingStep)
#include "tst_routerreadingstep.moc"
