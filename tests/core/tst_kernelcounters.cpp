// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkNamespace.h"
#include "TestDatabase.h"

#include "core/SettingsStore.h"
#include "core/traffic/AdapterList.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/SampleAdapters.h"

#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The Linux interface table as the kernel fills it, in a namespace of the test's own. The
// bytes themselves are checked end to end against the kernel's counters by the program tests
// (tests/program/traffic_counts.sh).
class TestKernelCounters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetworkNamespace::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(u"kernel counter tests skipped: "_s + reason));
    }

    // A name that needs quoting, read from the kernel, stored and found again at another position.
    void apostropheNameIsListedStoredAndMatched()
    {
        const QString name = u"it's"_s;
        NetworkNamespace ns(u"a"_s);
        QVERIFY2(ns.isValid() && ns.ip({u"link"_s, u"add"_s, u"va"_s, u"type"_s, u"ifb"_s})
                && ns.ip({u"link"_s, u"add"_s, name, u"type"_s, u"ifb"_s}),
            qPrintable(ns.error()));
        TestDatabase db;
        auto table = ns.inside([] { return std::make_unique<LinuxInterfaceTable>(); });
        // The names and kinds come in index order, as the counters do; none here has a device.
        std::vector<InterfaceInfo> info;
        std::vector<InterfaceCounters> rows;
        QVERIFY(table->readInfo(info) && table->readCounters(rows));
        QCOMPARE(rows.size(), std::size_t(3));
        for (std::size_t p = 0; p < info.size(); ++p) {
            QCOMPARE(rows[p].index, info[p].index);
            QCOMPARE(info[p].loopback, p == 0);
            QVERIFY(!info[p].physical);
        }
        QCOMPARE(info[2].description, name);
        SettingsStore store(db.path());
        QVERIFY2(store.writeAdapterSelection({{2, name}}), qPrintable(store.errorString()));

        QVERIFY(ns.ip({u"link"_s, u"del"_s, u"va"_s}));
        AdapterList list;
        QCOMPARE(SampleAdapters(*table, list, db.path()).run(0), SampleAdapters::Outcome::Summed);
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.text(1), name);
        QVERIFY(list.isSelected(1) && !list.isSelected(0));
    }
};

QTEST_GUILESS_MAIN(TestKernelCounters)
#include "tst_kernelcounters.moc"
