// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterHttp.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <system_error>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A socket of the exchange, closed on every way out of it.
class Socket
{
public:
    Socket() = default;
    ~Socket() { reset(); }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

QString systemText(int code)
{
    return QString::fromStdString(std::generic_category().message(code));
}

// Waits until the socket is ready for the events or the deadline passes: its poll() events,
// 0 when the deadline passed, -1 with errno when poll failed.
int waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd watched {fd, events, 0};
        const int ready = ::poll(&watched, 1, int(std::min<qint64>(deadline.remainingTime(), DeadlineMsecs)));
        if (ready > 0)
            return watched.revents;
        if (ready == 0 && deadline.hasExpired())
            return 0;
        if (ready < 0 && errno != EINTR)
            return -1;
    }
}

using Addresses = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// The URL's host as addresses: a numeric one (IPv4, IPv6 with its scope) as it is, a name
// through the system's resolver, which no deadline bounds (as Qt's blocking lookup before it).
Addresses addresses(const QUrl &url, QString &why)
{
    const QByteArray host = url.host().toUtf8();
    const QByteArray port = QByteArray::number(url.port(80));
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    int failed = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
    if (failed == EAI_NONAME) {
        hints.ai_flags = AI_NUMERICSERV;
        failed = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
    }
    if (failed != 0) {
        why = failed == EAI_SYSTEM ? systemText(errno) : QString::fromUtf8(::gai_strerror(failed));
        found = nullptr;
    }
    return Addresses(found, &::freeaddrinfo);
}

// Connects to the first of the host's addresses that takes the connection before the deadline.
bool connectTo(Socket &socket, const QUrl &url, const QDeadlineTimer &deadline, QString &why)
{
    const Addresses all = addresses(url, why);
    for (const addrinfo *at = all.get(); at; at = at->ai_next) {
        socket.reset(::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol));
        if (socket.fd() < 0) {
            why = systemText(errno);
            continue;
        }
        // A connect broken off by a signal goes on by itself, as one in progress does.
        if (::connect(socket.fd(), at->ai_addr, at->ai_addrlen) == 0)
            return true;
        if (errno != EINPROGRESS && errno != EINTR) {
            why = systemText(errno);
            continue;
        }
        const int ready = waitFor(socket.fd(), POLLOUT, deadline);
        int failure = ready == 0 ? ETIMEDOUT : errno;
        socklen_t size = sizeof failure;
        if (ready > 0 && ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &failure, &size) != 0)
            failure = errno;
        if (ready > 0 && failure == 0)
            return true;
        why = systemText(failure);
        if (ready == 0)
            break;
    }
    socket.reset();
    return false;
}

bool sendAll(int fd, QByteArrayView request, const QDeadlineTimer &deadline, QString &why)
{
    while (!request.isEmpty()) {
        const ssize_t sent = ::send(fd, request.data(), size_t(request.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            request = request.sliced(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        const int ready = sent < 0 && errno == EAGAIN ? waitFor(fd, POLLOUT, deadline) : -1;
        if (ready <= 0) {
            why = systemText(ready == 0 ? ETIMEDOUT : errno);
            return false;
        }
    }
    return true;
}

struct Received
{
    bool closed = false; // the router ended the connection
    int error = 0; // errno of a failed read
};

// Reads what has come, to one byte past the most an answer may hold and no further.
Received receive(int fd, QByteArray &data)
{
    char piece[16 * 1024];
    while (data.size() <= MostBytes) {
        const size_t room = size_t(std::min<qsizetype>(sizeof piece, MostBytes + 1 - data.size()));
        const ssize_t got = ::recv(fd, piece, room, 0);
        if (got > 0)
            data.append(piece, got);
        else if (got == 0)
            return {true, 0};
        else if (errno != EINTR)
            return {false, errno == EAGAIN ? 0 : errno};
    }
    return {};
}

std::optional<Answer> exchange(const QUrl &url, const QByteArray &request, QString &error, bool *answered)
{
    if (answered)
        *answered = false;
    const QString where = url.toString();
    const QDeadlineTimer deadline(DeadlineMsecs);
    Socket socket;
    QString why;
    if (!connectTo(socket, url, deadline, why)) {
        error = QStringLiteral("%1 did not answer: %2").arg(where, why);
        return std::nullopt;
    }
    if (!sendAll(socket.fd(), request, deadline, why)) {
        error = QStringLiteral("%1 did not take the request: %2").arg(where, why);
        return std::nullopt;
    }
    QByteArray data;
    std::optional<Head> h;
    qsizetype searchedTo = 0;
    for (;;) {
        const Received got = receive(socket.fd(), data);
        if (answered && !data.isEmpty())
            *answered = true;
        if (data.size() > MostBytes) {
            error = QStringLiteral("%1 answered more than %2 bytes").arg(where).arg(MostBytes);
            return std::nullopt;
        }
        if (!h) {
            // Only what came since the last look is searched (the end may straddle it).
            const qsizetype headEnd = data.indexOf("\r\n\r\n", std::max<qsizetype>(0, searchedTo - 3));
            searchedTo = data.size();
            if (headEnd >= 0) {
                h = head(data, headEnd, why);
                if (!h) {
                    error = QStringLiteral("%1 answered %2").arg(where, why);
                    return std::nullopt;
                }
            }
        }
        if (h) {
            const QByteArrayView body = QByteArrayView(data).sliced(h->bodyAt);
            if (h->chunked) {
                if (std::optional<QByteArray> whole = unchunked(body))
                    return Answer {h->status, *whole};
            } else if (h->length) {
                if (body.size() >= *h->length)
                    return Answer {h->status, body.first(*h->length).toByteArray()};
            } else if (got.closed) {
                return Answer {h->status, body.toByteArray()};
            }
        }
        if (got.closed) {
            error = data.isEmpty() ? QStringLiteral("%1 closed the connection without an answer").arg(where)
                                   : QStringLiteral("%1 sent an answer cut short").arg(where);
            return std::nullopt;
        }
        const int ready = got.error ? -1 : waitFor(socket.fd(), POLLIN, deadline);
        if (ready <= 0) {
            error = ready == 0
                ? QStringLiteral("%1 sent no whole answer within %2 s").arg(where).arg(DeadlineMsecs / 1000)
                : QStringLiteral("%1: %2").arg(where, systemText(got.error ? got.error : errno));
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
