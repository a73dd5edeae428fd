// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// The router's HTTP, read by a client of our own on plain POSIX sockets: a whole answer (status
// line, headers and body) of more than MostBytes is refused as soon as it passes that, and every
// request has one deadline for its connection, its sending and its whole answer, so neither a
// router that never ends a line nor one that sends a byte a second holds the reading thread
// longer than that. A host name's lookup takes from that deadline but cannot be cut off by it.
// Blocking: called on the thread that reads the router, never on the window's.
namespace RouterHttp {

constexpr qsizetype MostBytes = 64 * 1024;
constexpr int DeadlineMsecs = 5000;

struct Answer
{
    int status = 0;
    QByteArray body;
};

// answered (if given) tells whether anything at all came back, even an answer refused.
std::optional<Answer> get(const QUrl &url, QString &error, bool *answered = nullptr);

// A SOAP action without arguments, as UPnP clients send it: POST to the control URL with
// SOAPAction "serviceType#action".
std::optional<Answer> soap(const QUrl &controlUrl, const QByteArray &serviceType, const QByteArray &action,
    QString &error, bool *answered = nullptr);

} // namespace RouterHttp
