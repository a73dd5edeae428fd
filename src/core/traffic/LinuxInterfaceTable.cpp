// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/LinuxInterfaceTable.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include <linux/ethtool.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

// Large enough for any message of a dump: the kernel fills at most 32 KiB per message.
constexpr std::size_t receiveBufferSize = 64 * 1024;

// A dump the kernel had to restart because the interfaces changed under it is retried.
constexpr int dumpAttempts = 3;

// Single requests cost about 1.5 us each after the first (4.7 us), a dump about 5 us and
// 0.11 us a row: more interfaces than this, or than one in sixteen of the table, are picked
// from a dump. Their answers also have to fit the socket's receive buffer together.
constexpr std::size_t mostSingleReads = 16;

struct StatsRequest
{
    nlmsghdr header;
    if_stats_msg body;
};

// Walks the attributes that follow a message's fixed header of headerSize bytes.
template <typename Visit> void forEachAttribute(const nlmsghdr *message, std::size_t headerSize, Visit visit)
{
    const std::size_t offset = NLMSG_LENGTH(headerSize);
    if (message->nlmsg_len < offset)
        return;
    auto attribute = reinterpret_cast<const rtattr *>(reinterpret_cast<const char *>(message) + NLMSG_ALIGN(offset));
    int length = int(message->nlmsg_len - NLMSG_ALIGN(offset));
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length))
        visit(attribute);
}

template <typename Header> Header fixedHeader(const nlmsghdr *message)
{
    Header header {};
    std::memcpy(&header, NLMSG_DATA(message), sizeof header);
    return header;
}

// The counters of one RTM_NEWSTATS message; false for any other message.
bool parseStats(const nlmsghdr *message, InterfaceCounters &row)
{
    if (message->nlmsg_type != RTM_NEWSTATS || message->nlmsg_len < NLMSG_LENGTH(sizeof(if_stats_msg)))
        return false;
    row = {};
    row.index = fixedHeader<if_stats_msg>(message).ifindex;
    forEachAttribute(message, sizeof(if_stats_msg), [&row](const rtattr *attribute) {
        if (attribute->rta_type != IFLA_STATS_LINK_64 || RTA_PAYLOAD(attribute) < sizeof(rtnl_link_stats64))
            return;
        // The attribute is only 4-byte aligned: copied out rather than read in place.
        rtnl_link_stats64 stats;
        std::memcpy(&stats, RTA_DATA(attribute), sizeof stats);
        row.inOctets = stats.rx_bytes;
        row.outOctets = stats.tx_bytes;
    });
    return true;
}

void parseCounters(const nlmsghdr *message, std::vector<InterfaceCounters> &rows)
{
    InterfaceCounters row;
    if (parseStats(message, row))
        rows.push_back(row);
}

void parseInfo(const nlmsghdr *message, std::vector<InterfaceInfo> &rows)
{
    if (message->nlmsg_type != RTM_NEWLINK || message->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
        return;
    const ifinfomsg header = fixedHeader<ifinfomsg>(message);
    InterfaceInfo row;
    row.index = header.ifi_index;
    row.loopback = (header.ifi_flags & IFF_LOOPBACK) != 0;
    forEachAttribute(message, sizeof(ifinfomsg), [&row](const rtattr *attribute) {
        const auto *data = static_cast<const char *>(RTA_DATA(attribute));
        const std::size_t size = RTA_PAYLOAD(attribute);
        if (attribute->rta_type == IFLA_IFNAME)
            row.description = QString::fromUtf8(data, qsizetype(strnlen(data, size)));
        else if (attribute->rta_type == IFLA_PARENT_DEV_NAME)
            row.physical = true;
    });
    rows.push_back(row);
}

bool ethtool(int socket, const char *name, void *data)
{
    ifreq request {};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    request.ifr_data = static_cast<char *>(data);
    return ::ioctl(socket, SIOCETHTOOL, &request) == 0;
}

template <typename Row> void sortByIndex(std::vector<Row> &rows)
{
    const auto byIndex = [](const Row &a, const Row &b) { return a.index < b.index; };
    if (!std::is_sorted(rows.begin(), rows.end(), byIndex))
        std::sort(rows.begin(), rows.end(), byIndex);
}

} // namespace

LinuxInterfaceTable::DeviceTest LinuxInterfaceTable::deviceTestFor(const char *kernelRelease)
{
    int major = 0;
    int minor = 0;
    // A release that cannot be read is taken for a recent one.
    if (std::sscanf(kernelRelease, "%d.%d", &major, &minor) != 2)
        return DeviceTest::ParentAttribute;
    return major < 5 || (major == 5 && minor < 16) ? DeviceTest::SysfsDevice : DeviceTest::ParentAttribute;
}

LinuxInterfaceTable::DeviceTest LinuxInterfaceTable::deviceTestForRunningKernel()
{
    utsname system {};
    return ::uname(&system) == 0 ? deviceTestFor(system.release) : DeviceTest::ParentAttribute;
}

// Every x86 hypervisor sets the CPU's "hypervisor present" bit for its guests (KVM, VMware,
// Hyper-V, Xen, VirtualBox). Elsewhere the paravirtual drivers tell a virtual machine's cards.
bool LinuxInterfaceTable::runsUnderHypervisor()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & (1u << 31)) != 0;
#else
    return false;
#endif
}

LinuxInterfaceTable::LinuxInterfaceTable()
    : LinuxInterfaceTable(deviceTestForRunningKernel(), QStringLiteral("/sys"), runsUnderHypervisor())
{
}

LinuxInterfaceTable::LinuxInterfaceTable(DeviceTest deviceTest, QString sysfsRoot, bool virtualMachine)
    : m_deviceTest(deviceTest)
    , m_sysfsRoot(std::move(sysfsRoot))
    , m_virtualMachine(virtualMachine)
    , m_buffer(receiveBufferSize)
{
    m_socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_socket < 0)
        fail(QStringLiteral("Cannot open a netlink socket"), errno);
}

LinuxInterfaceTable::~LinuxInterfaceTable()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool LinuxInterfaceTable::linksChanged()
{
    // Taken at every look, the first too. Nothing heard is the answer of nearly every poll.
    const bool heard = m_notifications.heard();
    return !std::exchange(m_looked, true) || heard;
}

InterfaceTable::CountersRead LinuxInterfaceTable::readCountersOf(std::vector<InterfaceCounters> &rows)
{
    if (m_socket < 0)
        return CountersRead::Failed;
    if (rows.empty())
        return CountersRead::Read;
    if (rows.size() > 1 && (rows.size() > mostSingleReads || rows.size() * 16 > m_tableRows))
        return readCounters(m_wholeTable) ? pick(m_wholeTable, rows) : CountersRead::Failed;

    // One request for each interface, all sent at once; the kernel answers each before the
    // send returns, so the answers are waiting when they are read.
    m_requests.resize(rows.size() * sizeof(StatsRequest));
    const quint32 first = m_sequence + 1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        StatsRequest request {};
        request.header.nlmsg_len = NLMSG_LENGTH(sizeof(if_stats_msg));
        request.header.nlmsg_type = RTM_GETSTATS;
        request.header.nlmsg_flags = NLM_F_REQUEST;
        request.header.nlmsg_seq = ++m_sequence;
        request.body.family = AF_UNSPEC;
        request.body.ifindex = quint32(rows[i].index);
        request.body.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
        std::memcpy(m_requests.data() + i * sizeof request, &request, sizeof request);
    }
    static_assert(sizeof(StatsRequest) == NLMSG_ALIGN(sizeof(StatsRequest)));
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(
            m_socket, m_requests.data(), m_requests.size(), 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel)
        < 0) {
        fail(QStringLiteral("Cannot ask the kernel for the interface counters"), errno);
        return CountersRead::Failed;
    }
    return takeAnswers(rows, first);
}

InterfaceTable::CountersRead LinuxInterfaceTable::takeAnswers(std::vector<InterfaceCounters> &rows, quint32 first)
{
    std::size_t answered = 0;
    bool gone = false;
    int refused = 0;
    while (answered < rows.size()) {
        // MSG_TRUNC: the whole message's size, larger than the buffer when it was cut.
        const ssize_t size = ::recv(m_socket, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0 || std::size_t(size) > m_buffer.size()) {
            fail(QStringLiteral("Cannot read the interface counters"), size < 0 ? errno : EMSGSIZE);
            return CountersRead::Failed;
        }
        int left = int(size);
        for (auto *answer = reinterpret_cast<const nlmsghdr *>(m_buffer.data()); NLMSG_OK(answer, left);
             answer = NLMSG_NEXT(answer, left)) {
            // Left over from a read that an earlier call gave up on.
            const quint32 sequence = answer->nlmsg_seq - first;
            if (sequence >= rows.size())
                continue;
            InterfaceCounters &row = rows[sequence];
            if (answer->nlmsg_type == NLMSG_ERROR) {
                nlmsgerr error {};
                if (answer->nlmsg_len >= NLMSG_LENGTH(sizeof error))
                    std::memcpy(&error, NLMSG_DATA(answer), sizeof error);
                if (error.error == -ENODEV)
                    gone = true;
                else
                    refused = error.error == 0 ? EPROTO : -error.error;
                ++answered;
                continue;
            }
            InterfaceCounters read;
            if (!parseStats(answer, read))
                continue;
            if (read.index != row.index) {
                refused = EPROTO;
            } else {
                row.inOctets = read.inOctets;
                row.outOctets = read.outOctets;
            }
            ++answered;
        }
    }
    if (refused != 0) {
        fail(QStringLiteral("The kernel refused the interface counters"), refused);
        return CountersRead::Failed;
    }
    return gone ? CountersRead::Gone : CountersRead::Read;
}

bool LinuxInterfaceTable::readCounters(std::vector<InterfaceCounters> &rows)
{
    struct
    {
        nlmsghdr header;
        if_stats_msg body;
    } request {};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(if_stats_msg));
    request.body.family = AF_UNSPEC;
    request.body.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    if (!dump(RTM_GETSTATS, request.header, rows, parseCounters))
        return false;
    m_tableRows = rows.size();
    return true;
}

bool LinuxInterfaceTable::readInfo(std::vector<InterfaceInfo> &rows)
{
    // Names and kinds only: the link statistics that RTM_GETLINK carries by default are
    // left out of the answer.
    struct
    {
        nlmsghdr header;
        ifinfomsg body;
        rtattr maskAttribute;
        quint32 mask;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.body.ifi_family = AF_UNSPEC;
    request.maskAttribute.rta_type = IFLA_EXT_MASK;
    request.maskAttribute.rta_len = RTA_LENGTH(sizeof(quint32));
    request.mask = RTEXT_FILTER_SKIP_STATS;
    if (!dump(RTM_GETLINK, request.header, rows, parseInfo))
        return false;
    if (m_deviceTest == DeviceTest::SysfsDevice) {
        // Interface names hold no "/", so the name is one path component.
        for (InterfaceInfo &row : rows)
            row.physical = QFileInfo::exists(
                m_sysfsRoot + QLatin1String("/class/net/") + row.description + QLatin1String("/device"));
    }
    // The speed binds a real card only: a virtual machine's cards (an emulated e1000 reports
    // 1,000 Mbit/s, vmxnet3 10,000) carry what the host can move.
    if (!m_virtualMachine) {
        for (InterfaceInfo &row : rows) {
            if (!row.physical)
                continue;
            const QByteArray name = row.description.toUtf8();
            if (!paravirtualDriver(name.constData()))
                row.linkSpeedMbps = linkSpeed(name.constData());
        }
    }
    return true;
}

int LinuxInterfaceTable::readLinkSpeed(int index)
{
    ifreq request {};
    request.ifr_ifindex = index;
    if (m_socket < 0 || ::ioctl(m_socket, SIOCGIFNAME, &request) != 0)
        return -1;
    request.ifr_name[IFNAMSIZ - 1] = 0;
    return linkSpeed(request.ifr_name);
}

int LinuxInterfaceTable::linkSpeed(const char *name) const
{
    if (m_socket < 0)
        return -1;
    quint32 speed = 0;
    // ETHTOOL_GLINKSETTINGS first tells the size of its link mode masks (as a negative count
    // of 32-bit words, at most 127), then answers when asked with that size.
    alignas(ethtool_link_settings) char buffer[sizeof(ethtool_link_settings) + 3 * 127 * sizeof(quint32)] {};
    ethtool_link_settings settings {};
    settings.cmd = ETHTOOL_GLINKSETTINGS;
    std::memcpy(buffer, &settings, sizeof settings);
    if (ethtool(m_socket, name, buffer)) {
        std::memcpy(&settings, buffer, sizeof settings);
        if (settings.link_mode_masks_nwords < 0) {
            settings.cmd = ETHTOOL_GLINKSETTINGS;
            settings.link_mode_masks_nwords = qint8(-settings.link_mode_masks_nwords);
            std::memcpy(buffer, &settings, sizeof settings);
            if (ethtool(m_socket, name, buffer)) {
                std::memcpy(&settings, buffer, sizeof settings);
                speed = settings.speed;
            }
        }
    } else {
        // Kernels before 4.6.
        ethtool_cmd legacy {};
        legacy.cmd = ETHTOOL_GSET;
        if (ethtool(m_socket, name, &legacy))
            speed = ethtool_cmd_speed(&legacy);
    }
    // SPEED_UNKNOWN is all ones.
    return speed == 0 || speed > quint32(INT_MAX) ? -1 : int(speed);
}

bool LinuxInterfaceTable::paravirtualDriver(const char *name) const
{
    ethtool_drvinfo info {};
    info.cmd = ETHTOOL_GDRVINFO;
    if (!ethtool(m_socket, name, &info))
        return false;
    info.driver[sizeof info.driver - 1] = 0;
    for (const char *driver : {"virtio_net", "vmxnet3", "hv_netvsc", "vif"}) {
        if (std::strcmp(info.driver, driver) == 0)
            return true;
    }
    return false;
}

template <typename Row, typename Parse>
bool LinuxInterfaceTable::dump(int type, nlmsghdr &request, std::vector<Row> &rows, Parse parse)
{
    if (m_socket < 0)
        return false;
    // The request is sent as it lies in the caller's struct, nlmsg_len bytes from its header.
    request.nlmsg_type = quint16(type);
    request.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;

    for (int attempt = 0; attempt < dumpAttempts; ++attempt) {
        rows.clear();
        request.nlmsg_seq = ++m_sequence;
        sockaddr_nl kernel {};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_socket, &request, request.nlmsg_len, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel)
            < 0)
            return fail(QStringLiteral("Cannot ask the kernel for the interface table"), errno);

        bool done = false;
        bool interrupted = false;
        while (!done) {
            iovec part {m_buffer.data(), m_buffer.size()};
            msghdr received {};
            received.msg_iov = &part;
            received.msg_iovlen = 1;
            const ssize_t size = ::recvmsg(m_socket, &received, 0);
            if (size < 0 && errno == EINTR)
                continue;
            if (size < 0)
                return fail(QStringLiteral("Cannot read the interface table"), errno);
            if (received.msg_flags & MSG_TRUNC)
                return fail(QStringLiteral("The interface table came in a message too large to read"), EMSGSIZE);

            int left = int(size);
            for (auto *answer = reinterpret_cast<const nlmsghdr *>(m_buffer.data()); NLMSG_OK(answer, left);
                 answer = NLMSG_NEXT(answer, left)) {
                // Left over from a dump that an earlier call gave up on.
                if (answer->nlmsg_seq != m_sequence)
                    continue;
                interrupted = interrupted || (answer->nlmsg_flags & NLM_F_DUMP_INTR);
                if (answer->nlmsg_type == NLMSG_DONE) {
                    done = true;
                    break;
                }
                if (answer->nlmsg_type == NLMSG_ERROR) {
                    nlmsgerr error {};
                    if (answer->nlmsg_len >= NLMSG_LENGTH(sizeof error))
                        std::memcpy(&error, NLMSG_DATA(answer), sizeof error);
                    return fail(QStringLiteral("The kernel refused the interface table"), -error.error);
                }
                parse(answer, rows);
            }
        }
        if (!interrupted) {
            sortByIndex(rows);
            return true;
        }
    }
    return fail(QStringLiteral("The interfaces kept changing while the table was read"), EAGAIN);
}

bool LinuxInterfaceTable::fail(const QString &what, int error)
{
    m_error = what + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(error));
    return false;
}
