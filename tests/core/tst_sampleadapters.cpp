#include "FakeInterfaceTable.h"
#include "TestDatabase.h"

#include "core/AdapterList.h"
#include "core/RunCounters.h"
#include "core/SampleAdapters.h"
#include "core/SettingsStore.h"

#include <QFile>
#include <QTest>

using Outcome = SampleAdapters::Outcome;

// The adapter list, the stored choice and the sums, driven through a fake interface table and
// a real copy of the database.
class TestSampleAdapters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rebuiltListSelects_data();
    void rebuiltListSelects();
    void sumsTheSelectedCountersWhole();
    void deselectingStopsCountingAtTheNextPass();
    void failedReadKeepsThePreviousSums();
    void emptyTableEmptiesTheList();
    void changedTableRebuildsFromTheStore_data();
    void changedTableRebuildsFromTheStore();
    void noDatabaseAccessBetweenRebuilds();
    void failedRebuildLeavesTheListAndRetries();
    void storedSelectionRoundTrips();

private:
    struct Fixture
    {
        TestDatabase db;
        FakeInterfaceTable table;
        AdapterList list;
        RunCounters counters;
        SampleAdapters sampler {table, list, counters, db.path()};

        void store(const QStringList &rows)
        {
            for (const QString &row : rows) {
                const QStringList nameValue = row.split(QLatin1Char('='));
                db.exec(QStringLiteral("insert into settings values ('%1', '%2')")
                            .arg(nameValue.at(0), SettingsStore::quoted(nameValue.at(1))));
            }
        }
        QString selected() const
        {
            QStringList names;
            for (const auto &[position, text] : list.selection())
                names << text;
            return names.join(QLatin1Char(','));
        }
    };

    static QList<FakeInterfaceTable::Row> desktop()
    {
        // A laptop running containers: the card and the Wi-Fi carry everything once.
        return {
            {1, QStringLiteral("lo"), 0, 0, false, true},
            {2, QStringLiteral("enp3s0")},
            {3, QStringLiteral("wlp2s0")},
            {4, QStringLiteral("docker0"), 0, 0, false},
            {5, QStringLiteral("veth1a2b"), 0, 0, false},
            {6, QStringLiteral("tun0"), 0, 0, false},
        };
    }
};

void TestSampleAdapters::rebuiltListSelects_data()
{
    QTest::addColumn<QList<FakeInterfaceTable::Row>>("interfaces");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no rows: cards, not loopback or relays") << desktop() << QStringList() << "enp3s0,wlp2s0";
    QTest::newRow("no rows, no card: all but loopback")
        << QList<FakeInterfaceTable::Row> {{1, QStringLiteral("lo"), 0, 0, false, true},
               {7, QStringLiteral("eth0"), 0, 0, false}}
        << QStringList() << "eth0";
    QTest::newRow("values name entries 0 and 3")
        << FakeInterfaceTable::cards(4)
        << QStringList {QStringLiteral("Adapter0=eth0"), QStringLiteral("Adapter3=eth3")} << "eth0,eth3";
    QTest::newRow("value decides over position")
        << FakeInterfaceTable::cards(4) << QStringList {QStringLiteral("Adapter0=eth2")} << "eth2";
    QTest::newRow("values naming nothing: positions decide")
        << FakeInterfaceTable::cards(4) << QStringList {QStringLiteral("Adapter1=x"), QStringLiteral("Adapter3=")}
        << "eth1,eth3";
    QTest::newRow("only Adapter7 with junk: nothing")
        << FakeInterfaceTable::cards(4) << QStringList {QStringLiteral("Adapter7=junk")} << "";
    QTest::newRow("key case does not matter")
        << FakeInterfaceTable::cards(2) << QStringList {QStringLiteral("ADAPTER1=junk")} << "eth1";
}

void TestSampleAdapters::rebuiltListSelects()
{
    QFETCH(QList<FakeInterfaceTable::Row>, interfaces);
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);

    Fixture f;
    f.store(stored);
    for (FakeInterfaceTable::Row &row : interfaces) {
        row.in = 1000 * row.index;
        row.out = 10 * row.index;
    }
    f.table.rows = interfaces;
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.list.count(), interfaces.size());
    QCOMPARE(f.selected(), expected);

    double in = 0;
    double out = 0;
    for (const auto &[position, text] : f.list.selection()) {
        in += 1000 * interfaces.at(position).index;
        out += 10 * interfaces.at(position).index;
    }
    QCOMPARE(f.counters.curIn, in);
    QCOMPARE(f.counters.curOut, out);
}

void TestSampleAdapters::sumsTheSelectedCountersWhole()
{
    Fixture f;
    f.table.rows = FakeInterfaceTable::cards(3);
    f.table.rows[0].in = 3'000'000'000; // past 2^31
    f.table.rows[1].in = 4'294'967'297; // past 2^32
    f.table.rows[2].in = 1'099'511'627'776; // 1 TiB
    f.table.rows[0].out = 2'147'483'648;
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.counters.curIn, 1'106'806'595'073.0);
    QCOMPARE(f.counters.curOut, 2'147'483'648.0);
}

void TestSampleAdapters::deselectingStopsCountingAtTheNextPass()
{
    Fixture f;
    f.table.rows = FakeInterfaceTable::cards(2);
    f.table.row(QStringLiteral("eth0")).in = 500;
    f.table.row(QStringLiteral("eth1")).in = 700;
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.counters.curIn, 1200.0);

    f.list.setSelected(1, false); // in the dialog, not yet stored
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.counters.curIn, 500.0);
    QCOMPARE(f.table.infoReads, 1);
    QVERIFY(f.db.rows(QStringLiteral("select * from settings")).isEmpty());
}

void TestSampleAdapters::failedReadKeepsThePreviousSums()
{
    Fixture f;
    f.table.rows = FakeInterfaceTable::cards(2);
    f.table.rows[0].in = 100;
    f.table.rows[1].out = 50;
    QCOMPARE(f.sampler.run(), Outcome::Summed);

    f.table.rows[0].in = 900;
    f.table.rows.removeLast(); // would empty the sums and rebuild, if it were read
    f.table.failNextRead = true;
    QCOMPARE(f.sampler.run(), Outcome::ReadFailed);
    QCOMPARE(f.counters.curIn, 100.0);
    QCOMPARE(f.counters.curOut, 50.0);
    QCOMPARE(f.list.count(), 2);
    QCOMPARE(f.sampler.errorString(), QStringLiteral("fake read failure"));

    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.counters.curIn, 900.0);
    QCOMPARE(f.counters.curOut, 0.0);
}

void TestSampleAdapters::emptyTableEmptiesTheList()
{
    Fixture f;
    f.table.rows = FakeInterfaceTable::cards(2);
    f.table.rows[0].in = 100;
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    f.table.rows.clear();
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.list.count(), 0);
    QCOMPARE(f.counters.curIn, 0.0);
    QCOMPARE(f.counters.curOut, 0.0);
}

void TestSampleAdapters::changedTableRebuildsFromTheStore_data()
{
    QTest::addColumn<QList<FakeInterfaceTable::Row>>("before");
    QTest::addColumn<QList<FakeInterfaceTable::Row>>("after");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("expected");

    const auto cards = FakeInterfaceTable::cards;
    auto middleGone = cards(4);
    middleGone.removeAt(1);
    auto replaced = cards(3);
    replaced[1] = {9, QStringLiteral("usb0")};

    // Stored rows are what an earlier OK wrote; the unsaved change of the dialog is lost.
    QTest::newRow("grows from 3 to 4") << cards(3) << cards(4) << QStringList {QStringLiteral("Adapter3=eth3")}
                                       << "eth3";
    QTest::newRow("one removed from the middle")
        << cards(4) << middleGone
        << QStringList {QStringLiteral("Adapter0=eth0"), QStringLiteral("Adapter2=eth2"),
               QStringLiteral("Adapter3=eth3")}
        << "eth0,eth2,eth3";
    QTest::newRow("one replaced, same count")
        << cards(3) << replaced << QStringList {QStringLiteral("Adapter1=eth1"), QStringLiteral("Adapter2=eth2")}
        << "eth2";
}

void TestSampleAdapters::changedTableRebuildsFromTheStore()
{
    QFETCH(QList<FakeInterfaceTable::Row>, before);
    QFETCH(QList<FakeInterfaceTable::Row>, after);
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);

    Fixture f;
    f.table.rows = before;
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    f.list.setSelected(0, false);
    f.store(stored);

    f.table.rows = after;
    for (FakeInterfaceTable::Row &row : f.table.rows)
        row.in = quint64(row.index);
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.table.infoReads, 2);
    QCOMPARE(f.list.count(), after.size());
    QCOMPARE(f.selected(), expected);
    double in = 0;
    for (const auto &[position, text] : f.list.selection())
        in += after.at(position).index;
    QCOMPARE(f.counters.curIn, in);
}

void TestSampleAdapters::noDatabaseAccessBetweenRebuilds()
{
    Fixture f;
    f.table.rows = FakeInterfaceTable::cards(2);
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QVERIFY(QFile::remove(f.db.path()));

    for (quint64 pass = 1; pass <= 3; ++pass) {
        f.table.rows[0].in = 1000 * pass;
        QCOMPARE(f.sampler.run(), Outcome::Summed);
        QCOMPARE(f.counters.curIn, 1000.0 * double(pass));
    }
    QCOMPARE(f.table.infoReads, 1);
}

void TestSampleAdapters::failedRebuildLeavesTheListAndRetries()
{
    Fixture f;
    f.table.rows = FakeInterfaceTable::cards(3);
    f.table.rows[0].in = 100;
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    f.list.setSelected(2, false);
    const QList<AdapterEntry> before = f.list.entries();
    const quint64 revision = f.list.revision();

    const QString aside = f.db.path() + QStringLiteral(".aside");
    QVERIFY(QFile::rename(f.db.path(), aside));
    f.table.rows = FakeInterfaceTable::cards(4);
    f.table.rows[0].in = 5000;
    QCOMPARE(f.sampler.run(), Outcome::RebuildFailed);
    QVERIFY(!f.sampler.errorString().isEmpty());
    QCOMPARE(f.list.revision(), revision);
    QCOMPARE(f.list.count(), before.size());
    for (int p = 0; p < before.size(); ++p) {
        QCOMPARE(f.list.text(p), before.at(p).text);
        QCOMPARE(f.list.isSelected(p), before.at(p).selected);
    }
    QCOMPARE(f.counters.curIn, 100.0);

    QVERIFY(QFile::rename(aside, f.db.path()));
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    QCOMPARE(f.list.count(), 4);
    QCOMPARE(f.counters.curIn, 5000.0);
}

void TestSampleAdapters::storedSelectionRoundTrips()
{
    Fixture f;
    f.table.rows
        = {{1, QStringLiteral("lo"), 0, 0, false, true}, {2, QStringLiteral("it's")}, {3, QStringLiteral("eth0")}};
    QCOMPARE(f.sampler.run(), Outcome::Summed);
    f.list.setSelected(0, true);
    f.list.setSelected(2, false);
    SettingsStore store(f.db.path());
    QVERIFY2(store.writeAdapterSelection(f.list.selection()), qPrintable(store.errorString()));
    QCOMPARE(f.db.rows(QStringLiteral("select * from settings order by 1")),
        QStringList({QStringLiteral("Adapter0|lo"), QStringLiteral("Adapter1|it's")}));

    // The next run, with the apostrophe interface now first in the table.
    AdapterList list;
    RunCounters counters;
    f.table.rows
        = {{1, QStringLiteral("it's")}, {2, QStringLiteral("eth0")}, {3, QStringLiteral("lo"), 0, 0, false, true}};
    SampleAdapters next(f.table, list, counters, f.db.path());
    QCOMPARE(next.run(), Outcome::Summed);
    QCOMPARE(list.text(0), QStringLiteral("it's"));
    QVERIFY(list.isSelected(0));
    QVERIFY(!list.isSelected(1));
    QVERIFY(list.isSelected(2));
}

QTEST_GUILESS_MAIN(TestSampleAdapters)
#include "tst_sampleadapters.moc"
