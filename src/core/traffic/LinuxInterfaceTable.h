#pragma once

#include "core/traffic/InterfaceTable.h"

#include <QString>

#include <vector>

struct nlmsghdr;

// The interface table of the network namespace this object was created in, read from the
// kernel over rtnetlink: the counters with one RTM_GETSTATS dump (64-bit link statistics
// only, the cheapest read the kernel offers), names and kinds with one RTM_GETLINK dump.
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

    // The running kernel's test on /sys.
    LinuxInterfaceTable();
    LinuxInterfaceTable(DeviceTest deviceTest, QString sysfsRoot);
    ~LinuxInterfaceTable() override;
    LinuxInterfaceTable(const LinuxInterfaceTable &) = delete;
    LinuxInterfaceTable &operator=(const LinuxInterfaceTable &) = delete;

    [[nodiscard]] bool readCounters(std::vector<InterfaceCounters> &rows) override;
    [[nodiscard]] bool readInfo(std::vector<InterfaceInfo> &rows) override;
    QString errorString() const override { return m_error; }

private:
    struct Dump;
    template <typename Row, typename Parse> bool dump(int type, nlmsghdr &request, std::vector<Row> &rows, Parse parse);
    bool fail(const QString &what, int error);

    DeviceTest m_deviceTest;
    QString m_sysfsRoot;
    int m_socket = -1;
    quint32 m_sequence = 0;
    std::vector<char> m_buffer; // one receive buffer for the object's life
    QString m_error;
};
