// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// One answer of a router to the counters' questions (UPnP IGD's WANCommonInterfaceConfig):
// its WAN byte counters and, where it says so, how long it has been up.
struct RouterReading
{
    quint64 received = 0;
    quint64 sent = 0;
    // Many routers count in 32 bits and wrap every 4 GiB; some offer 64-bit counters. This is
    // the action's width, never guessed from a value: a 64-bit counter reads small too. A
    // 32-bit action may still answer more than 2^32 - 1 (some routers count wider than they
    // say): the value is taken, and the reading step then knows that router never wraps.
    bool wide = false;
    std::optional<quint32> uptimeSecs {}; // GetStatusInfo's NewUptime, when the router answers it

    // The reading from the answers' texts, which come from the network: only plain decimal
    // digits within 64 bits are taken (no sign, space, exponent or hex), else nothing. An uptime that does not read is left out, not a reason to refuse the counters.
    static std::optional<RouterReading> fromAnswers(
        QByteArrayView received, QByteArrayView sent, bool wide, std::optional<QByteArrayView> uptime = {});
};
