#pragma once

#include "core/traffic/InterfaceTable.h"

#include <vector>

struct nlmsghdr;

// The interface table of the network namespace this object was created in, read from the
// kernel over rtnetlink: the counters with one RTM_GETSTATS dump (64-bit link statistics
// only, the cheapest read the kernel offers), names and kinds with one RTM_GETLINK dump.
class LinuxInterfaceTable final : public InterfaceTable
{
public:
    LinuxInterfaceTable();
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

    int m_socket = -1;
    quint32 m_sequence = 0;
    std::vector<char> m_buffer; // one receive buffer for the object's life
    QString m_error;
};
