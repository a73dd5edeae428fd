// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "core/SettingsStore.h"
#include "core/traffic/AdapterList.h"
#include "core/traffic/SampleAdapters.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = SampleAdapters::Outcome;
using Rows = QList<FakeInterfaceTable::Row>;

// The adapter list, the stored choice and the sums, driven through a fake interface table and
// a real copy of the database.
class TestSampleAdapters : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TestDatabase db;
        FakeInterfaceTable table;
        AdapterList list;
        SampleAdapters sampler {table, list, db.path()};
        qint64 monotonicMsecs = 1'000'000;
        double in = 0; // the sums of what the passes added
        double out = 0;

        // The next pass, the given time after the last.
        Outcome pass(qint64 msecs = 500)
        {
            monotonicMsecs += msecs;
            const Outcome outcome = sampler.run(monotonicMsecs);
            in += double(sampler.added().in);
            out += double(sampler.added().out);
            return outcome;
        }

        // Settings rows given as "Adapter0=eth0,Adapter3=eth3".
        void store(const QString &rows)
        {
            for (const QString &row : rows.split(u',', Qt::SkipEmptyParts)) {
                const QStringList nameValue = row.split(u'=');
                db.exec(u"insert into settings values ('%1', '%2')"_s.arg(
                    nameValue.at(0), SettingsStore::quoted(nameValue.at(1))));
            }
        }
        QString selected() const
        {
            QStringList names;
            for (const auto &[position, text] : list.selection())
                names << text;
            return names.join(u',');
        }
        // What the selected interfaces carried since the given rows were read, in one direction.
        double selectedSince(const Rows &since, quint64 FakeInterfaceTable::Row::*counter) const
        {
            double sum = 0;
            for (const auto &[position, text] : list.selection())
                sum += double(table.rows.at(position).*counter - since.at(position).*counter);
            return sum;
        }
    };

private Q_SLOTS:
    void rebuiltListSelects_data()
    {
        QTest::addColumn<Rows>("interfaces");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");

        const FakeInterfaceTable::Row lo {1, u"lo"_s, 0, 0, false, true};
        // A laptop running containers: the card and the Wi-Fi carry everything once.
        const Rows desktop {lo, {2, u"enp3s0"_s}, {3, u"wlp2s0"_s}, {4, u"docker0"_s, 0, 0, false},
            {5, u"veth1a2b"_s, 0, 0, false}, {6, u"tun0"_s, 0, 0, false}};
        const Rows four = FakeInterfaceTable::cards(4);
        QTest::newRow("no rows: cards, not loopback or relays") << desktop << QString() << u"enp3s0,wlp2s0"_s;
        QTest::newRow("no rows, no card: all but loopback")
            << Rows {lo, {7, u"eth0"_s, 0, 0, false}} << QString() << u"eth0"_s;
        QTest::newRow("value over position; absent name: nothing; empty value: position")
            << four << u"Adapter0=eth2,ADAPTER1=x,Adapter3="_s << u"eth2,eth3"_s;
        QTest::newRow("only Adapter7 with junk: nothing") << four << u"Adapter7=junk"_s << u""_s;
        QTest::newRow("loopback when chosen") << desktop << u"Adapter0=lo,Adapter5=tun0"_s << u"lo,tun0"_s;
    }

    void rebuiltListSelects()
    {
        QFETCH(Rows, interfaces);
        QFETCH(QString, stored);
        Fixture f;
        f.store(stored);
        // Counters near 2^32 when the run begins: what they counted before is not the run's.
        for (FakeInterfaceTable::Row &row : interfaces) {
            row.in = (quint64(1) << 32) - quint64(row.index);
            row.out = (quint64(3) << 31) + 7;
        }
        f.table.rows = interfaces;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.list.count(), interfaces.size());
        QTEST(f.selected(), "expected");
        QCOMPARE(f.in, 0.0);
        QCOMPARE(f.out, 0.0);

        // Past 2^32 and 2^33, every byte counted whole (an hour later: up to 26 TB is more than
        // any link carries in half a second).
        for (FakeInterfaceTable::Row &row : f.table.rows) {
            row.in += (quint64(1000) << 32) * quint64(row.index) + 1;
            row.out += (quint64(1) << 33) + quint64(row.index);
        }
        QCOMPARE(f.pass(3'600'000), Outcome::Summed);
        QCOMPARE(f.in, f.selectedSince(interfaces, &FakeInterfaceTable::Row::in));
        QCOMPARE(f.out, f.selectedSince(interfaces, &FakeInterfaceTable::Row::out));
        QVERIFY(!f.sampler.counterFell());
    }

    // Passes between rebuilds read no database; a rebuild that fails (the database gone) leaves
    // the list and the readings as they were and is tried again at the next pass.
    void onlyRebuildsReadTheDatabase()
    {
        Fixture f;
        f.table.rows = FakeInterfaceTable::cards(2);
        f.table.rows[1].in = 700;
        QCOMPARE(f.pass(), Outcome::Summed);
        const QString aside = f.db.path() + u".aside"_s;
        QVERIFY(QFile::rename(f.db.path(), aside));
        for (quint64 pass = 1; pass <= 3; ++pass) {
            f.table.rows[0].in = 1000 * pass;
            f.table.rows[1].in = 700 + 10 * pass;
            QCOMPARE(f.pass(), Outcome::Summed);
            QCOMPARE(f.in, 1010.0 * double(pass));
        }
        // A choice changed in the dialog, not yet stored, counts from the next pass: the
        // interface deselected adds nothing more, and chosen again it starts from its reading.
        f.list.setSelected(1, false);
        f.table.rows[1].in = 800;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in, 3030.0);
        f.list.setSelected(1, true);
        f.table.rows[1].in = 900;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in, 3030.0);
        f.table.rows[1].in = 950;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in, 3080.0);
        QCOMPARE(f.table.infoReads, 1);

        f.list.setSelected(1, false);
        const quint64 revision = f.list.revision();
        f.table.rows.append({3, u"eth2"_s});
        f.table.rows[0].in = 5000;
        QCOMPARE(f.pass(), Outcome::RebuildFailed);
        QVERIFY(!f.sampler.errorString().isEmpty());
        QCOMPARE(f.list.revision(), revision);
        QCOMPARE(f.list.count(), 2);
        QCOMPARE(f.selected(), u"eth0"_s);
        QCOMPARE(f.in, 3080.0);
        QVERIFY(QFile::rename(aside, f.db.path()));
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.list.count(), 3);
        QCOMPARE(f.in, 5080.0);
    }

    // A failed read adds nothing and keeps the readings. What an interface carries after its
    // counter fell or after it came back under a metered name counts from 0 (one made anew,
    // tst_kernelcounters); one that left takes nothing away.
    void fallenAndRecreatedCountersCountFromZero()
    {
        Fixture f;
        f.table.rows = FakeInterfaceTable::cards(2);
        f.table.rows[0].in = 1000;
        f.table.rows[1].in = 500;
        QCOMPARE(f.pass(), Outcome::Summed);

        const auto pass = [&f](double expectedIn, bool fell) {
            QCOMPARE(f.pass(), Outcome::Summed);
            QCOMPARE(f.in, expectedIn);
            QCOMPARE(f.sampler.counterFell(), fell);
        };
        f.table.rows[0].in = 1500;
        pass(500, false);
        f.table.rows[0].in = 200; // reset by its driver
        pass(700, true);

        f.table.rows[0].in = 600;
        f.table.rows.removeLast(); // unplugged: would rebuild the list, if it were read
        f.table.failNextRead = true;
        QCOMPARE(f.pass(), Outcome::ReadFailed);
        QCOMPARE(f.in, 700.0);
        QCOMPARE(f.list.count(), 2);
        QCOMPARE(f.sampler.errorString(), u"fake read failure"_s);
        pass(1100, false); // what the failed read missed
        f.table.rows.append({8, u"eth1"_s, 50}); // plugged in again
        pass(1150, true);
        f.table.rows.append({10, u"usb0"_s, 4000}); // new, with a history of its own
        pass(1150, false);
        QCOMPARE(f.selected(), u"eth0,eth1,usb0"_s);
        f.table.rows.clear();
        pass(1150, false);
        QCOMPARE(f.list.count(), 0);
    }

    // The limit in one direction: the link speed of a card, else 100 Gbit/s, for the time since
    // the last reading and 2 s more. A 1 Gbit/s card carries 125,000,000 bytes a second, so
    // 312,500,000 in 0.5 + 2 s and 500,000,000 in 2 + 2 s; 100 Gbit/s is 31,250,000,000 in 2.5 s.
    void changeBeyondTheLinkIsNotCounted_data()
    {
        QTest::addColumn<bool>("physical");
        QTest::addColumn<int>("speedAtRebuild");
        QTest::addColumn<int>("speedNow");
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<quint64>("in");
        QTest::addColumn<quint64>("out");
        QTest::addColumn<double>("expectedIn");
        QTest::addColumn<double>("expectedOut");

        QTest::newRow("1 Gbit/s card, at the limit")
            << true << 1000 << 1000 << 500LL << 312'500'000ULL << 7ULL << 312'500'000.0 << 7.0;
        QTest::newRow("1 Gbit/s card, a byte over: that direction dropped whole")
            << true << 1000 << 1000 << 500LL << 312'500'001ULL << 1000ULL << 0.0 << 1000.0;
        QTest::newRow("1 Gbit/s card, 2 s late: more allowed")
            << true << 1000 << 1000 << 2000LL << 500'000'000ULL << 400'000'000ULL << 500'000'000.0 << 400'000'000.0;
        // A veth reports 10 Gbit/s and carries more.
        QTest::newRow("virtual, reporting 10 Gbit/s: 100 Gbit/s, a byte over sent")
            << false << 10000 << 10000 << 500LL << 31'250'000'000ULL << 31'250'000'001ULL << 31'250'000'000.0 << 0.0;
        QTest::newRow("card of unknown speed: 100 Gbit/s")
            << true << -1 << -1 << 500LL << 31'250'000'000ULL << 0ULL << 31'250'000'000.0 << 0.0;
        QTest::newRow("link came up at 1 Gbit/s after the rebuild at 100 Mbit/s")
            << true << 100 << 1000 << 500LL << 312'500'000ULL << 0ULL << 312'500'000.0 << 0.0;
        QTest::newRow("link came up slower: the higher speed stays")
            << true << 1000 << 100 << 500LL << 312'500'000ULL << 0ULL << 312'500'000.0 << 0.0;
    }

    void changeBeyondTheLinkIsNotCounted()
    {
        QFETCH(bool, physical);
        QFETCH(int, speedAtRebuild);
        QFETCH(int, speedNow);
        QFETCH(qint64, elapsed);
        QFETCH(quint64, in);
        QFETCH(quint64, out);
        QFETCH(double, expectedIn);
        QFETCH(double, expectedOut);
        Fixture f;
        f.table.rows = {{1, u"eth0"_s, 5000, 7000, physical, false, speedAtRebuild}};
        QCOMPARE(f.pass(), Outcome::Summed);
        f.table.rows[0].speedMbps = speedNow;
        f.table.rows[0].in += in;
        f.table.rows[0].out += out;
        // A change not counted is said so, naming the interface.
        QTest::failOnWarning(QRegularExpression(u"not counted"_s));
        if (expectedIn != double(in) || expectedOut != double(out))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^eth0: not counted: "_s));
        QCOMPARE(f.pass(elapsed), Outcome::Summed);
        QCOMPARE(f.in, expectedIn);
        QCOMPARE(f.out, expectedOut);

        // The reading moved on: the next pass counts from there.
        f.table.rows[0].in += 10;
        f.table.rows[0].out += 20;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in - 10, expectedIn);
        QCOMPARE(f.out - 20, expectedOut);
    }

    // A counter that comes back huge is not counted and said so, once in ten minutes with the
    // count since when it repeats; one that comes back from a glitch counts from before it.
    void counterThatJumpsIsDroppedAndReportedSparingly()
    {
        Fixture f;
        QTest::failOnWarning(QRegularExpression(u"not counted"_s));
        f.table.rows = {{1, u"eth0"_s, 1000, 0, true, false, 1000}};
        QCOMPARE(f.pass(), Outcome::Summed);

        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(u"^eth0: not counted: 9223372036854774813 bytes received in 500 ms, .*jumped$"_s));
        f.table.rows[0].in = (quint64(1) << 63) + 5;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in, 0.0);
        f.table.rows[0].in += 1000;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in, 1000.0);

        // Two more jumps, at once and a minute later: not counted, not reported yet.
        for (const qint64 after : {500, 60'000}) {
            f.table.rows[0].in += quint64(1) << 50;
            QCOMPARE(f.pass(after), Outcome::Summed);
        }
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(u"^eth0: .*; 2 more such changes not counted since the last warning$"_s));
        f.table.rows[0].in += quint64(1) << 50;
        QCOMPARE(f.pass(600'000), Outcome::Summed);
        QCOMPARE(f.in, 1000.0);

        // Reset: a counter that fell, counted from 0.
        f.table.rows[0].in = 300;
        QCOMPARE(f.pass(), Outcome::Summed);
        QVERIFY(f.sampler.counterFell());
        QCOMPARE(f.in, 1300.0);

        // A glitch of one reading, an hour later: back from it, the counter counts from before
        // it, not its whole history from 0.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^eth0: not counted: 1152921504606846676 bytes"_s));
        f.table.rows[0].in = quint64(1) << 60;
        QCOMPARE(f.pass(3'600'000), Outcome::Summed);
        f.table.rows[0].in = 800;
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.in, 1800.0);
    }

    void changedTableRebuildsFromTheStore_data()
    {
        QTest::addColumn<Rows>("before");
        QTest::addColumn<Rows>("after");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<double>("expectedIn");

        const auto cards = FakeInterfaceTable::cards;
        Rows middleGone = cards(4);
        middleGone.removeAt(1);
        Rows replaced = cards(3);
        replaced[1] = {9, u"usb0"_s};
        // Stored rows are what an earlier OK wrote; the unsaved change of the dialog is lost.
        // Readings follow the interfaces by name: eth2 and eth3 were metered before and count
        // their change at their new positions; eth0 (deselected) and new interfaces join.
        QTest::newRow("grows from 3 to 4") << cards(3) << cards(4) << u"Adapter3=eth3"_s << u"eth3"_s << 0.0;
        QTest::newRow("one removed from the middle")
            << cards(4) << middleGone << u"Adapter0=eth0,Adapter2=eth2,Adapter3=eth3"_s << u"eth0,eth2,eth3"_s << 7.0;
        QTest::newRow("one replaced, same count")
            << cards(3) << replaced << u"Adapter1=eth1,Adapter2=eth2"_s << u"eth2"_s << 3.0;
    }

    void changedTableRebuildsFromTheStore()
    {
        QFETCH(Rows, before);
        QFETCH(Rows, after);
        QFETCH(QString, stored);
        Fixture f;
        f.table.rows = before;
        QCOMPARE(f.pass(), Outcome::Summed);
        f.list.setSelected(0, false);
        f.store(stored);

        f.table.rows = after;
        for (FakeInterfaceTable::Row &row : f.table.rows)
            row.in = quint64(row.index);
        QCOMPARE(f.pass(), Outcome::Summed);
        QCOMPARE(f.list.count(), after.size());
        QTEST(f.selected(), "expected");
        QTEST(f.in, "expectedIn");
    }
};

QTEST_GUILESS_MAIN(TestSampleAdapters)
#include "tst_sampleadapters.moc"
