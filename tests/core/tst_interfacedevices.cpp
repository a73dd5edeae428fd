// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkNamespace.h"

#include "core/traffic/LinuxInterfaceTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using DeviceTest = LinuxInterfaceTable::DeviceTest;

// Which interfaces the Linux table reports as backed by a device of their own: the kernel's
// parent-device attribute, or on kernels without it the interface's "device" entry in sysfs;
// and the link speeds of those.
class TestInterfaceDevices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deviceTestFollowsTheKernel_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<DeviceTest>("expected");
        QTest::newRow("5.15, the last without the attribute") << u"5.15.0-91-generic"_s << DeviceTest::SysfsDevice;
        QTest::newRow("5.16") << u"5.16.0"_s << DeviceTest::ParentAttribute;
        QTest::newRow("5.16 release candidate") << u"5.16-rc1"_s << DeviceTest::ParentAttribute;
        QTest::newRow("10.0") << u"10.0.1"_s << DeviceTest::ParentAttribute;
        QTest::newRow("unreadable") << u"custom"_s << DeviceTest::ParentAttribute;
    }

    void deviceTestFollowsTheKernel()
    {
        QFETCH(QString, release);
        QTEST(LinuxInterfaceTable::deviceTestFor(release.toLatin1().constData()), "expected");
    }

    void sysfsFallbackReadsTheDeviceEntry()
    {
        const QString reason = NetworkNamespace::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(u"needs a namespace of its own: "_s + reason));
        // A veth pair has no parent device; the fixture gives "card0" a device entry, as sysfs
        // shows one for a PCI or USB card, and leaves "relay0" and loopback without.
        NetworkNamespace ns(u"devices"_s);
        QVERIFY2(ns.isValid()
                && ns.ip({u"link"_s, u"add"_s, u"card0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"relay0"_s}),
            qPrintable(ns.error()));
        QTemporaryDir sysfs;
        QVERIFY(QDir(sysfs.path()).mkpath(u"class/net/card0/device"_s));
        QVERIFY(QDir(sysfs.path()).mkpath(u"class/net/relay0"_s));

        const auto physical = [&](DeviceTest test, bool virtualMachine = false) {
            auto table
                = ns.inside([&] { return std::make_unique<LinuxInterfaceTable>(test, sysfs.path(), virtualMachine); });
            std::vector<InterfaceInfo> rows;
            if (!table->readInfo(rows))
                qWarning("%s", qPrintable(table->errorString()));
            QStringList names;
            for (const InterfaceInfo &row : rows) {
                names << row.description + (row.physical ? u"+"_s : QString())
                        + (row.linkSpeedMbps != -1 ? u" %1 Mbit/s"_s.arg(row.linkSpeedMbps) : QString());
            }
            names.sort();
            return names;
        };
        // A card's link speed is read (a veth reports 10,000 Mbit/s), but not on a virtual
        // machine, and never a virtual interface's.
        QCOMPARE(physical(DeviceTest::SysfsDevice), QStringList({u"card0+ 10000 Mbit/s"_s, u"lo"_s, u"relay0"_s}));
        QCOMPARE(physical(DeviceTest::SysfsDevice, true), QStringList({u"card0+"_s, u"lo"_s, u"relay0"_s}));
        // The kernel's attribute: a veth has no parent device.
        QCOMPARE(physical(DeviceTest::ParentAttribute), QStringList({u"card0"_s, u"lo"_s, u"relay0"_s}));

        // One interface's speed by its index, as a link that may have come up faster is read
        // again: the kernel's own figure (its sysfs, once the link is up), none for loopback or
        // an index not there.
        QByteArray sysfsSpeed;
        QVERIFY2(ns.ipBatch("link set card0 up\nlink set relay0 up\n")
                && ns.exec({u"cat"_s, u"/sys/class/net/card0/speed"_s}, &sysfsSpeed),
            qPrintable(ns.error()));
        const int kernelSpeed = sysfsSpeed.trimmed().toInt();
        QVERIFY2(kernelSpeed > 0, sysfsSpeed.constData());
        auto table = ns.inside([] { return std::make_unique<LinuxInterfaceTable>(); });
        std::vector<InterfaceInfo> rows;
        QVERIFY(table->readInfo(rows) && rows.size() == 3);
        for (const InterfaceInfo &row : rows)
            QCOMPARE(table->readLinkSpeed(row.index), row.loopback ? -1 : kernelSpeed);
        QCOMPARE(table->readLinkSpeed(999999), -1);
    }
};

QTEST_GUILESS_MAIN(TestInterfaceDevices)
#include "tst_interfacedevices.moc"
