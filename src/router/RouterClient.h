// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/RouterReading.h"
#include "router/RouterInfo.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Talks to one router over UPnP IGD through libminiupnpc. Every call blocks for up to its
// timeout, so the client lives off the window thread. Whatever a router answers is untrusted:
// an answer that is too large, cut short or not what the action gives is refused with a
// reason in errorString(), never taken in part.
class RouterClient final
{
public:
    RouterClient();
    ~RouterClient();
    RouterClient(const RouterClient &) = delete;
    RouterClient &operator=(const RouterClient &) = delete;

    // The internet gateways that answer SSDP on the local network within timeoutMsecs, each by
    // its friendly name (its description URL where it gives none). error says why none could
    // be looked for (no network, no socket); an empty list with no error is a quiet network.
    static QList<RouterInfo> discover(int timeoutMsecs, QString &error);

    // Reads the description at descriptionUrl (http only) and finds its WAN common interface
    // service; false and errorString() when there is none.
    bool open(const QString &descriptionUrl);
    RouterInfo info() const;

    // The WAN counters now, 64-bit where the router offers them, with its uptime where it tells
    // it; nothing and errorString() when it does not answer or answers what does not read.
    std::optional<RouterReading> read();
    // The most the WAN link carries in one direction, in bytes a second, from what the router
    // says of its link, but never less than a link a real line could have (so no real traffic is
    // ever refused as impossible); read by open().
    quint64 linkBytesPerSec() const;

    QString errorString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
