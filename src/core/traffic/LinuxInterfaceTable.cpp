#include "core/traffic/LinuxInterfaceTable.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

// Large enough for any message of a dump: the kernel fills at most 32 KiB per message.
constexpr std::size_t receiveBufferSize = 64 * 1024;

// A dump the kernel had to restart because the interfaces changed under it is retried.
constexpr int dumpAttempts = 3;

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

void parseCounters(const nlmsghdr *message, std::vector<InterfaceCounters> &rows)
{
    if (message->nlmsg_type != RTM_NEWSTATS || message->nlmsg_len < NLMSG_LENGTH(sizeof(if_stats_msg)))
        return;
    InterfaceCounters row;
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

LinuxInterfaceTable::LinuxInterfaceTable()
    : LinuxInterfaceTable(deviceTestForRunningKernel(), QStringLiteral("/sys"))
{
}

LinuxInterfaceTable::LinuxInterfaceTable(DeviceTest deviceTest, QString sysfsRoot)
    : m_deviceTest(deviceTest)
    , m_sysfsRoot(std::move(sysfsRoot))
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
    return dump(RTM_GETSTATS, request.header, rows, parseCounters);
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
    return true;
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
