// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterHttp.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <algorithm>
#include <charconv>

namespace RouterHttp {
namespace {

QByteArray hostHeader(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port(80) != 80)
        host += ':' + QByteArray::number(url.port(80));
    return host;
}

QByteArray target(const QUrl &url)
{
    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty())
        path = "/";
    if (url.hasQuery())
        path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return path;
}

std::optional<qsizetype> number(QByteArrayView text, int base)
{
    text = text.trimmed();
    qsizetype value = 0;
    const auto [end, failed] = std::from_chars(text.begin(), text.end(), value, base);
    if (text.isEmpty() || failed != std::errc() || end != text.end() || value < 0)
        return std::nullopt;
    return value;
}

// The body of a chunked answer, once it is whole.
std::optional<QByteArray> unchunked(QByteArrayView data)
{
    QByteArray body;
    qsizetype at = 0;
    for (;;) {
        const qsizetype lineEnd = data.indexOf("\r\n", at);
        if (lineEnd < 0)
            return std::nullopt;
        QByteArrayView line = data.sliced(at, lineEnd - at);
        if (const qsizetype semicolon = line.indexOf(';'); semicolon >= 0)
            line = line.first(semicolon);
        const std::optional<qsizetype> size = number(line, 16);
        if (!size || *size > MostBytes)
            return std::nullopt;
        at = lineEnd + 2;
        if (*size == 0)
            return body;
        if (data.size() - at < *size + 2)
            return std::nullopt;
        body += data.sliced(at, *size);
        at += *size + 2;
    }
}

struct Head
{
    int status = 0;
    qsizetype bodyAt = 0;
    std::optional<qsizetype> length;
    bool chunked = false;
};

// The status line and headers, once they end; error when they are not HTTP.
std::optional<Head> head(QByteArrayView data, qsizetype headEnd, QString &error)
{
    Head h;
    h.bodyAt = headEnd + 4;
    const QList<QByteArray> lines = data.first(headEnd).toByteArray().split('\n');
    const QByteArray status = lines.first().trimmed();
    if (!status.startsWith("HTTP/1.") || status.size() < 12 || status[8] != ' ') {
        error = QStringLiteral("an answer that is not HTTP");
        return std::nullopt;
    }
    const std::optional<qsizetype> code = number(QByteArrayView(status).sliced(9, 3), 10);
    if (!code || *code < 100) {
        error = QStringLiteral("an answer with no HTTP status");
        return std::nullopt;
    }
    h.status = int(*code);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].first(colon).trimmed().toLower();
        const QByteArrayView value = QByteArrayView(lines[i]).sliced(colon + 1).trimmed();
        if (name == "content-length") {
            h.length = number(value, 10);
            if (!h.length) {
                error = QStringLiteral("an answer with a false Content-Length");
                return std::nullopt;
            }
        } else if (name == "transfer-encoding") {
            h.chunked = value.toByteArray().toLower().contains("chunked");
        }
    }
    return h;
}

std::optional<Answer> exchange(const QUrl &url, const QByteArray &request, QString &error, bool *answered)
{
    if (answered)
        *answered = false;
    const QString where = url.toString();
    const QDeadlineTimer deadline(DeadlineMsecs);
    QTcpSocket socket;
    // Qt reads no more off the connection than this is asked to hold.
    socket.setReadBufferSize(MostBytes + 1);
    socket.connectToHost(url.host(), quint16(url.port(80)));
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        error = QStringLiteral("%1 did not answer: %2").arg(where, socket.errorString());
        return std::nullopt;
    }
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
            error = QStringLiteral("%1 did not take the request: %2").arg(where, socket.errorString());
            return std::nullopt;
        }
    }
    QByteArray data;
    std::optional<Head> h;
    qsizetype searchedTo = 0;
    for (;;) {
        while (socket.bytesAvailable() > 0) {
            data += socket.read(MostBytes + 1 - data.size());
            if (answered)
                *answered = true;
            if (data.size() > MostBytes) {
                error = QStringLiteral("%1 answered more than %2 bytes").arg(where).arg(MostBytes);
                return std::nullopt;
            }
        }
        if (!h) {
            // Only what came since the last look is searched (the end may straddle it).
            const qsizetype headEnd = data.indexOf("\r\n\r\n", std::max<qsizetype>(0, searchedTo - 3));
            searchedTo = data.size();
            if (headEnd >= 0) {
                QString why;
                h = head(data, headEnd, why);
                if (!h) {
                    error = QStringLiteral("%1 answered %2").arg(where, why);
                    return std::nullopt;
                }
            }
        }
        const bool closed = socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0;
        if (h) {
            const QByteArrayView body = QByteArrayView(data).sliced(h->bodyAt);
            if (h->chunked) {
                if (std::optional<QByteArray> whole = unchunked(body))
                    return Answer {h->status, *whole};
            } else if (h->length) {
                if (body.size() >= *h->length)
                    return Answer {h->status, body.first(*h->length).toByteArray()};
            } else if (closed) {
                return Answer {h->status, body.toByteArray()};
            }
        }
        if (closed) {
            error = data.isEmpty() ? QStringLiteral("%1 closed the connection without an answer").arg(where)
                                   : QStringLiteral("%1 sent an answer cut short").arg(where);
            return std::nullopt;
        }
        if (!socket.waitForReadyRead(int(deadline.remainingTime())) && socket.state() == QAbstractSocket::ConnectedState
            && socket.bytesAvailable() == 0) {
            error = deadline.hasExpired()
                ? QStringLiteral("%1 sent no whole answer within %2 s").arg(where).arg(DeadlineMsecs / 1000)
                : QStringLiteral("%1: %2").arg(where, socket.errorString());
            return std::nullopt;
        }
    }
}

QByteArray commonHeaders(const QUrl &url)
{
    return "Host: " + hostHeader(url) + "\r\nUser-Agent: Linux, UPnP/1.1, Varnolt\r\nConnection: close\r\n";
}

} // namespace

std::optional<Answer> get(const QUrl &url, QString &error, bool *answered)
{
    return exchange(url, "GET " + target(url) + " HTTP/1.1\r\n" + commonHeaders(url) + "\r\n", error, answered);
}

std::optional<Answer> soap(const QUrl &controlUrl, const QByteArray &serviceType, const QByteArray &action,
    QString &error, bool *answered)
{
    // The service type is the router's word, and it goes into a header line: one that could
    // end the line or the quotes is refused rather than sent.
    const auto plain = [](const QByteArray &text) {
        return std::none_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x20 || c == '"' || c == 0x7f; });
    };
    if (!plain(serviceType) || !plain(action)) {
        error = QStringLiteral("%1 names a service that is not plain text").arg(controlUrl.toString());
        if (answered)
            *answered = false;
        return std::nullopt;
    }
    const QByteArray body = "<?xml version=\"1.0\"?>\r\n"
                            "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                            "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:"
        + action + " xmlns:u=\"" + serviceType + "\"></u:" + action + "></s:Body></s:Envelope>\r\n";
    const QByteArray request = "POST " + target(controlUrl) + " HTTP/1.1\r\n" + commonHeaders(controlUrl)
        + "Content-Length: " + QByteArray::number(body.size())
        + "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"" + serviceType + '#' + action
        + "\"\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n\r\n" + body;
    return exchange(controlUrl, request, error, answered);
}

} // namespace RouterHttp
