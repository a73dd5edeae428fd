// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkNamespace.h"
#include "TestDatabase.h"

#include "core/Clock.h"
#include "core/SettingsStore.h"
#include "core/traffic/AdapterList.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/SampleAdapters.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString addressA = u"10.199.0.1"_s;
const QString addressB = u"10.199.0.2"_s;
constexpr quint16 port = 40999;
// A 1,000-byte UDP payload on a veth: 8 bytes UDP, 20 bytes IPv4 and 14 bytes Ethernet header.
constexpr qsizetype payloadSize = 1000;
constexpr quint64 bytesOnTheWire = 1042;

struct KernelCounters
{
    quint64 rx = 0;
    quint64 tx = 0;
};

class Socket
{
public:
    Socket() = default;
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    // Made in the namespace of the calling thread; bound to the address when one is given.
    bool open(const QString &address = {})
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 || address.isEmpty())
            return m_fd >= 0;
        const sockaddr_in a = socketAddress(address);
        return ::bind(m_fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0;
    }
    bool sendTo(const QString &address) const
    {
        const QByteArray payload(payloadSize, 'v');
        const sockaddr_in a = socketAddress(address);
        return ::sendto(m_fd, payload.constData(), std::size_t(payload.size()), 0,
                   reinterpret_cast<const sockaddr *>(&a), sizeof a)
            == payload.size();
    }
    // Waits for one datagram; its size, or -1 after a second of silence.
    qsizetype receive() const
    {
        pollfd p {m_fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1)
            return -1;
        char buffer[2048];
        return ::recv(m_fd, buffer, sizeof buffer, 0);
    }

private:
    static sockaddr_in socketAddress(const QString &address)
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr);
        return a;
    }

    int m_fd = -1;
};

} // namespace

// The Linux interface table and the sums taken from it, against the kernel's own counters, on
// a veth pair between two namespaces of the test's own where no packet moves but the test's.
class TestKernelCounters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void sumsMoveByTheKernelsOwnDeltas();
    void apostropheNameIsListedStoredAndMatched();

private:
    bool makeLink();
    KernelCounters kernelCounters(const QString &interface);
    static void send(int datagrams, const Socket &from, const Socket &to, const QString &toAddress);

    std::unique_ptr<NetworkNamespace> m_a;
    std::unique_ptr<NetworkNamespace> m_b;
};

void TestKernelCounters::initTestCase()
{
    const QString reason = NetworkNamespace::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(u"kernel counter tests skipped: "_s + reason));
}

void TestKernelCounters::init()
{
    m_a = std::make_unique<NetworkNamespace>(u"a"_s);
    m_b = std::make_unique<NetworkNamespace>(u"b"_s);
    QVERIFY2(m_a->isValid() && m_b->isValid(), qPrintable(m_a->error() + m_b->error()));
    // No IPv6: otherwise router solicitations and duplicate address checks cross the link.
    for (NetworkNamespace *ns : {m_a.get(), m_b.get()}) {
        QVERIFY2(ns->exec({u"sysctl"_s, u"-qw"_s, u"net.ipv6.conf.all.disable_ipv6=1"_s,
                     u"net.ipv6.conf.default.disable_ipv6=1"_s}),
            qPrintable(ns->error()));
    }
    QVERIFY(makeLink());
}

void TestKernelCounters::cleanup()
{
    m_a.reset();
    m_b.reset();
}

bool TestKernelCounters::makeLink()
{
    // Fixed addresses and neighbour entries: no ARP request or reply ever crosses the link.
    const bool made = m_a->ipBatch("link add va address 02:00:0a:c7:00:01 type veth peer name vb address "
                                   "02:00:0a:c7:00:02 netns "
                          + m_b->name().toUtf8()
                          + "\naddr add 10.199.0.1/24 dev va\nlink set va up\n"
                            "neigh replace 10.199.0.2 lladdr 02:00:0a:c7:00:02 dev va nud permanent\n")
        && m_b->ipBatch("addr add 10.199.0.2/24 dev vb\nlink set vb up\n"
                        "neigh replace 10.199.0.1 lladdr 02:00:0a:c7:00:01 dev vb nud permanent\n");
    if (!made)
        qWarning("%s", qPrintable(m_a->error() + m_b->error()));
    return made;
}

KernelCounters TestKernelCounters::kernelCounters(const QString &interface)
{
    QByteArray counts;
    const QString statistics = u"/sys/class/net/%1/statistics/"_s.arg(interface);
    if (!m_a->exec({u"cat"_s, statistics + u"rx_bytes"_s, statistics + u"tx_bytes"_s}, &counts))
        qFatal("%s", qPrintable(m_a->error()));
    const QList<QByteArray> lines = counts.split('\n');
    return {lines.value(0).toULongLong(), lines.value(1).toULongLong()};
}

void TestKernelCounters::send(int datagrams, const Socket &from, const Socket &to, const QString &toAddress)
{
    for (int i = 0; i < datagrams; ++i) {
        QVERIFY(from.sendTo(toAddress));
        QCOMPARE(to.receive(), payloadSize);
    }
}

void TestKernelCounters::sumsMoveByTheKernelsOwnDeltas()
{
    TestDatabase db;
    db.exec(u"insert into settings values ('Adapter0', 'va')"_s);
    Socket atB;
    Socket fromB;
    QVERIFY(m_b->inside([&] { return atB.open(addressB) && fromB.open(); }));
    Socket atA;
    Socket fromA;
    QVERIFY(m_a->inside([&] { return atA.open(addressA) && fromA.open(); }));
    // The table reads the namespace it was made in.
    auto table = m_a->inside([] { return std::make_unique<LinuxInterfaceTable>(); });
    AdapterList list;
    SampleAdapters sampler(*table, list, db.path());
    quint64 in = 0;
    quint64 out = 0;
    const auto pass = [&] {
        const bool summed = sampler.run(SystemClock().monotonicMsecs()) == SampleAdapters::Outcome::Summed;
        in += sampler.added().in;
        out += sampler.added().out;
        return summed;
    };

    // What the link carried before the first reading is not the run's traffic.
    send(2, fromB, atA, addressA);
    QVERIFY(pass());
    QCOMPARE(in + out, 0ULL);
    const KernelCounters before = kernelCounters(u"va"_s);
    QCOMPARE(before.rx, 2 * bytesOnTheWire);

    send(5, fromB, atA, addressA);
    send(3, fromA, atB, addressB);

    QVERIFY(pass());
    const KernelCounters after = kernelCounters(u"va"_s);
    QCOMPARE(after.rx - before.rx, 5 * bytesOnTheWire);
    QCOMPARE(after.tx - before.tx, 3 * bytesOnTheWire);
    QCOMPARE(in, after.rx - before.rx);
    QCOMPARE(out, after.tx - before.tx);
    QVERIFY(!sampler.counterFell());
}

// A name that needs quoting, read from the kernel, stored and found again at another position.
void TestKernelCounters::apostropheNameIsListedStoredAndMatched()
{
    const QString name = u"it's"_s;
    QVERIFY2(m_a->ip({u"link"_s, u"add"_s, name, u"type"_s, u"ifb"_s}), qPrintable(m_a->error()));
    TestDatabase db;
    auto table = m_a->inside([] { return std::make_unique<LinuxInterfaceTable>(); });
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

    QVERIFY(m_a->ip({u"link"_s, u"del"_s, u"va"_s}));
    AdapterList list;
    QCOMPARE(SampleAdapters(*table, list, db.path()).run(0), SampleAdapters::Outcome::Summed);
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.text(1), name);
    QVERIFY(list.isSelected(1) && !list.isSelected(0));
}

QTEST_GUILESS_MAIN(TestKernelCounters)
#include "tst_kernelcounters.moc"
