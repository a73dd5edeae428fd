// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/InterfaceTable.h"
#include "core/traffic/LinkNotifications.h"

#include <QString>

#include <vector>

struct nlmsghdr;

// The interface table of the network namespace this object was created in, read from the
// kernel over rtnetlink: the whole table's counters with one RTM_GETSTATS dump (64-bit link
// statistics only), a few interfaces' counters with one RTM_GETSTATS request each, sent
// together, names and kinds with one RTM_GETLINK dump, and the link speeds of the cards with
// the ethtool ioctl on the same socket, which asks the namespace the socket was made in. A
// second socket of its own hears the kernel's link notifications, which tell when the whole
// table has to be read again.
class LinuxInterfaceTable final : public InterfaceTable
{
public:
    // How an interface is found to be backed by a device of its own.
    enum class DeviceTest {
        ParentAttribute, // the kernel names a parent device (IFLA_PARENT_DEV_NAME, Linux 5.16 on)
        SysfsDevice, // <sysfs root>/class/net/<name>/device exists
    };
    // The attribute wherever the kernel reports it. Sysfs only before 5.16: it shows the
    // interfaces of the namespace it was mounted in, which need not be this table's.
    static DeviceTest deviceTestFor(const char *kernelRelease);
    static DeviceTest deviceTestForRunningKernel();

    // Whether this machine is a virtual machine, whose cards' link speeds bind nothing.
    static bool runsUnderHypervisor();

    // The running kernel's test on /sys, on the machine this runs on.
    LinuxInterfaceTable();
    LinuxInterfaceTable(DeviceTest deviceTest, QString sysfsRoot, bool virtualMachine);
    ~LinuxInterfaceTable() override;
    LinuxInterfaceTable(const LinuxInterfaceTable &) = delete;
    LinuxInterfaceTable &operator=(const LinuxInterfaceTable &) = delete;

    [[nodiscard]] bool readCounters(std::vector<InterfaceCounters> &rows) override;
    [[nodiscard]] bool linksChanged() override;
    [[nodiscard]] CountersRead readCountersOf(std::vector<InterfaceCounters> &rows) override;
    [[nodiscard]] bool readInfo(std::vector<InterfaceInfo> &rows) override;
    int readLinkSpeed(int index) override;
    QString errorString() const override { return m_error; }

private:
    struct Dump;
    template <typename Row, typename Parse> bool dump(int type, nlmsghdr &request, std::vector<Row> &rows, Parse parse);
    bool fail(const QString &what, int error);
    CountersRead takeAnswers(std::vector<InterfaceCounters> &rows, quint32 first);
    int linkSpeed(const char *name) const;
    bool paravirtualDriver(const char *name) const;

    DeviceTest m_deviceTest;
    QString m_sysfsRoot;
    bool m_virtualMachine = false;
    int m_socket = -1;
    LinkNotifications m_notifications; // made before the first read, so that no change goes unheard
    bool m_looked = false; // linksChanged() was asked before
    quint32 m_sequence = 0;
    std::size_t m_tableRows = 0; // rows of the last whole table read
    std::vector<char> m_buffer; // one receive buffer for the object's life
    std::vector<char> m_requests; // the requests for single interfaces, kept between reads
    std::vector<InterfaceCounters> m_wholeTable; // kept between reads, for many interfaces
    QString m_error;
};
