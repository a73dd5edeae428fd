// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkNamespace.h"
#include "TestDatabase.h"

#include "core/SettingsStore.h"
#include "core/traffic/AdapterList.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/SampleAdapters.h"

#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

using namespace Qt::StringLiterals;

// The Linux interface table as the kernel fills it, in a namespace of the test's own, and the
// sampler's bytes against the kernel's counters while interfaces come and go. The bytes of a
// whole run are checked end to end by the program tests (tests/program/traffic_counts.sh).
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

    // Unmetered interfaces come and go by the dozen while the metered one, whose name needs
    // quoting, joins late at another position than stored, carries traffic and is made anew
    // under its name: what the sampler adds up is what the kernel counted, the new one's from 0.
    void meteredBytesAreTheKernelsWhileLinksComeAndGo()
    {
        NetworkNamespace ns(u"m"_s), peer(u"p"_s);
        const QStringList noIpv6 {
            u"sysctl"_s, u"-qw"_s, u"net.ipv6.conf.all.disable_ipv6=1"_s, u"net.ipv6.conf.default.disable_ipv6=1"_s};
        QVERIFY2(ns.isValid() && peer.isValid() && ns.exec(noIpv6) && peer.exec(noIpv6), qPrintable(ns.error()));
        TestDatabase db;
        QVERIFY(SettingsStore(db.path()).writeAdapterSelection({{5, u"it's"_s}}));
        auto table = ns.inside([] { return std::make_unique<LinuxInterfaceTable>(); });
        AdapterList list;
        SampleAdapters sampler(*table, list, db.path());
        quint64 in = 0, out = 0;
        qint64 msecs = 0;
        const auto pass = [&] {
            QCOMPARE(sampler.run(msecs += 500), SampleAdapters::Outcome::Summed);
            in += sampler.added().in;
            out += sampler.added().out;
        };
        // Fixed addresses and neighbours, no IPv6: the interface carries the test's traffic only.
        const auto makeMetered = [&] {
            const QByteArray dev = " dev \"it's\"\n", peerDev = " dev vp\n";
            return ns.ipBatch("link add \"it's\" address 02:00:00:00:00:01 type veth peer name vp address "
                              "02:00:00:00:00:02 netns "
                       + peer.name().toUtf8() + "\naddr add 10.77.0.1/24" + dev + "link set up" + dev
                       + "neigh replace 10.77.0.2 lladdr 02:00:00:00:00:02 nud permanent" + dev)
                && peer.ipBatch("addr add 10.77.0.2/24" + peerDev + "link set up" + peerDev
                    + "neigh replace 10.77.0.1 lladdr 02:00:00:00:00:01 nud permanent" + peerDev);
        };
        const auto kernel = [&ns] {
            QByteArray read;
            ns.exec(
                {u"cat"_s, u"/sys/class/net/it's/statistics/rx_bytes"_s, u"/sys/class/net/it's/statistics/tx_bytes"_s},
                &read);
            const QList<QByteArray> counters = read.split('\n');
            return std::pair(counters.value(0).toULongLong(), counters.value(1).toULongLong());
        };
        // Datagrams to a closed port, answered by port-unreachable messages.
        const int sender = ns.inside([] { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); });
        const auto traffic = [sender, &kernel](int datagrams) {
            sockaddr_in to {AF_INET, htons(9), {htonl(0x0a4d0002)}, {}};
            for (const QByteArray payload(1200, 'x'); datagrams-- > 0;)
                ::sendto(sender, payload.constData(), 1200, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            // Until the answers are in, however busy the machine.
            for (auto seen = kernel(); QThread::msleep(50), kernel() != seen;)
                seen = kernel();
        };
        // Forty veth pairs made at each round, and the last round's deleted.
        const auto churn = [&ns](int round) {
            QByteArray batch;
            for (int i = 0; i < 40; ++i) {
                const QByteArray pair = QByteArray::number(round) + "x" + QByteArray::number(i);
                batch += "link add c" + pair + " type veth peer name d" + pair + "\n";
                if (round > 0)
                    batch += "link del c" + QByteArray::number(round - 1) + "x" + QByteArray::number(i) + "\n";
            }
            return ns.ipBatch(batch);
        };

        pass();
        QVERIFY2(churn(0) && makeMetered(), qPrintable(ns.error() + peer.error()));
        traffic(10);
        pass(); // joins: nothing of its history
        const auto first = kernel();
        QVERIFY(first.first > 0 && first.second > 0 && in == 0 && out == 0);
        QCOMPARE(list.selection(), (QList<QPair<int, QString>> {{81, u"it's"_s}}));
        for (int round = 1; round <= 3; ++round) {
            QVERIFY2(churn(round), qPrintable(ns.error()));
            traffic(20);
            pass();
        }
        const auto last = kernel();
        QVERIFY2(ns.ip({u"link"_s, u"del"_s, u"it's"_s}) && makeMetered(), qPrintable(ns.error() + peer.error()));
        traffic(100); // more than the old one carried
        pass();
        QVERIFY(sampler.counterFell());
        QVERIFY2(churn(4), qPrintable(ns.error()));
        traffic(20);
        pass();
        const auto anew = kernel();
        QCOMPARE(in, last.first - first.first + anew.first);
        QCOMPARE(out, last.second - first.second + anew.second);
        ::close(sender);
    }
};

QTEST_GUILESS_MAIN(TestKernelCounters)
#include "tst_kernelcounters.moc"
