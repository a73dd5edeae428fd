// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/InterfaceTable.h"

#include <QList>
#include <QPair>

// An interface table whose rows a test sets: names, kinds, speeds and counters, and reads that
// fail on demand. Like the kernel's notifications, it tells of interfaces that came, went,
// were renamed or made anew since it was last asked. Counts its reads of names so a test can
// tell a rebuild from a plain pass.
class FakeInterfaceTable final : public InterfaceTable
{
public:
    struct Row
    {
        int index;
        QString name;
        quint64 in = 0;
        quint64 out = 0;
        bool physical = true;
        bool loopback = false;
        int speedMbps = -1; // the link speed the kernel reports
    };

    QList<Row> rows;
    bool failNextRead = false;
    int infoReads = 0;

    // Rows eth0, eth1, ... with interface indexes 1, 2, ...
    static QList<Row> cards(int count)
    {
        QList<Row> result;
        for (int i = 0; i < count; ++i)
            result.append({i + 1, QStringLiteral("eth%1").arg(i)});
        return result;
    }

    Row &row(const QString &name)
    {
        for (Row &r : rows) {
            if (r.name == name)
                return r;
        }
        qFatal("no such fake interface");
    }

    bool readCounters(std::vector<InterfaceCounters> &out) override
    {
        out.clear();
        if (failNextRead) {
            failNextRead = false;
            return false;
        }
        for (const Row &r : rows)
            out.push_back({r.index, r.in, r.out});
        return true;
    }

    bool linksChanged() override
    {
        QList<QPair<int, QString>> links;
        for (const Row &r : rows)
            links.append({r.index, r.name});
        const bool changed = !m_looked || links != m_links;
        m_looked = true;
        m_links = links;
        return changed;
    }

    bool readInfo(std::vector<InterfaceInfo> &out) override
    {
        ++infoReads;
        out.clear();
        for (const Row &r : rows)
            out.push_back({r.index, r.name, r.loopback, r.physical, r.speedMbps});
        return true;
    }

    int readLinkSpeed(int index) override
    {
        for (const Row &r : rows) {
            if (r.index == index)
                return r.speedMbps;
        }
        return -1;
    }

    QString errorString() const override { return QStringLiteral("fake read failure"); }

private:
    bool m_looked = false;
    QList<QPair<int, QString>> m_links;
};
