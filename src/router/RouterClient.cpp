// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterClient.h"

#include "router/RouterAnswer.h"
#include "router/RouterHttp.h"

#include <QSet>
#include <QUrl>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnperrors.h>

#include <algorithm>
#include <charconv>

// The description and the SOAP answers are read by RouterHttp (capped, with one deadline per
// request); libminiupnpc is left the SSDP search and the reading of a description's services and
// URLs (parserootdesc, GetUPNPUrls), which work on the capped text.

namespace {

// No line a household has carries less; a router that says less is not believed.
constexpr quint64 LeastLinkBytesPerSec = 1'000'000'000 / 8;

const char *const GatewayTypes[] = {
    "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
    "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
    nullptr,
};

bool plainHttpUrl(const QString &text, QUrl &url, QString &error)
{
    url = QUrl(text, QUrl::StrictMode);
    // libminiupnpc keeps a URL in 128 bytes.
    if (text.size() >= MINIUPNPC_URL_MAXSIZE || !url.isValid() || url.scheme() != QLatin1String("http")
        || url.host().isEmpty() || !url.userInfo().isEmpty()) {
        error = QStringLiteral("%1 is not a router's http address").arg(text.left(MINIUPNPC_URL_MAXSIZE));
        return false;
    }
    return true;
}

// The description at url (already checked), at most RouterAnswer::MostBytes of it.
std::optional<QByteArray> fetchDescription(const QUrl &url, QString &error)
{
    std::optional<RouterHttp::Answer> answer = RouterHttp::get(url, error);
    if (!answer)
        return std::nullopt;
    if (answer->status != 200) {
        error = QStringLiteral("%1 answered HTTP status %2").arg(url.toString()).arg(answer->status);
        return std::nullopt;
    }
    QString why;
    if (!RouterAnswer::wholeDescription(answer->body, why)) {
        error = QStringLiteral("%1 answered %2").arg(url.toString(), why);
        return std::nullopt;
    }
    return std::move(answer->body);
}

// The friendly name the description gives, else its address.
QString nameIn(QByteArrayView description, const QString &url)
{
    QString ignored;
    return RouterAnswer::friendlyName(description, ignored).value_or(url);
}

} // namespace

struct RouterClient::Private
{
    UPNPUrls urls {};
    IGDdatas data {};
    bool opened = false;
    RouterInfo info;
    QString error;
    quint64 linkBytesPerSec = LeastLinkBytesPerSec;
    // Whether the router answers the 64-bit counters (a vendor's GetAddonInfos): asked until it
    // says it does not.
    bool askWide = true;

    void close()
    {
        if (opened)
            FreeUPNPUrls(&urls);
        urls = {};
        data = {};
        opened = false;
        askWide = true;
        linkBytesPerSec = LeastLinkBytesPerSec;
    }

    // The named fields of the answer to action on service (a control URL and its type).
    // answered: whether the router answered at all (a fault or a wrong answer is one).
    std::optional<QList<QByteArray>> ask(const char *controlUrl, const char *serviceType, const char *action,
        const QList<QByteArray> &names, bool *answered = nullptr)
    {
        // An answer refused for its size or its form was still an answer (the router is there).
        QString why;
        const std::optional<RouterHttp::Answer> answer = RouterHttp::soap(
            QUrl(QString::fromLatin1(controlUrl)), QByteArray(serviceType), QByteArray(action), why, answered);
        if (!answer) {
            error = QStringLiteral("%1: %2").arg(QLatin1String(action), why);
            return std::nullopt;
        }
        std::optional<QList<QByteArray>> fields = RouterAnswer::fields(answer->body, names, why);
        if (!fields)
            error = QStringLiteral("%1: %2").arg(QLatin1String(action), why);
        return fields;
    }

    void readLinkRate();
};

RouterClient::RouterClient()
    : d(std::make_unique<Private>())
{
}

RouterClient::~RouterClient()
{
    d->close();
}

QList<RouterInfo> RouterClient::discover(int timeoutMsecs, QString &error)
{
    error.clear();
    int status = UPNPDISCOVER_SUCCESS;
    UPNPDev *const devices = upnpDiscoverDevices(
        GatewayTypes, std::max(timeoutMsecs, 1), nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &status, 1);
    QList<RouterInfo> found;
    QSet<QString> seen;
    for (const UPNPDev *device = devices; device; device = device->pNext) {
        QUrl url;
        QString why;
        const QString address = QString::fromLatin1(device->descURL);
        if (seen.contains(address) || !plainHttpUrl(address, url, why))
            continue;
        seen.insert(address);
        // A gateway whose description does not read cannot be followed: it is not offered.
        if (const std::optional<QByteArray> description = fetchDescription(url, why))
            found.append({address, nameIn(*description, address)});
    }
    freeUPNPDevlist(devices);
    if (found.isEmpty() && status != UPNPDISCOVER_SUCCESS)
        error = QStringLiteral("routers could not be looked for: %1").arg(QString::fromUtf8(strupnperror(status)));
    return found;
}

bool RouterClient::open(const QString &descriptionUrl)
{
    d->close();
    d->info = {descriptionUrl, descriptionUrl};
    QUrl url;
    if (!plainHttpUrl(descriptionUrl, url, d->error))
        return false;
    const std::optional<QByteArray> description = fetchDescription(url, d->error);
    if (!description)
        return false;
    d->info.friendlyName = nameIn(*description, descriptionUrl);
    parserootdesc(description->constData(), int(description->size()), &d->data);
    if (d->data.CIF.servicetype[0] == '\0' || d->data.CIF.controlurl[0] == '\0') {
        d->error = QStringLiteral("%1 describes no WAN common interface").arg(descriptionUrl);
        d->data = {};
        return false;
    }
    GetUPNPUrls(&d->urls, &d->data, descriptionUrl.toLatin1().constData(), 0);
    d->opened = true;
    // The counters are asked of the host the description came from, never of another one it names.
    for (const char *control : {d->urls.controlURL_CIF, d->urls.controlURL}) {
        if (control && control[0] && QUrl(QString::fromLatin1(control)).host() != url.host()) {
            d->error = QStringLiteral("%1 sends its questions to another host").arg(descriptionUrl);
            d->close();
            return false;
        }
    }
    d->readLinkRate();
    d->error.clear();
    return true;
}

void RouterClient::Private::readLinkRate()
{
    linkBytesPerSec = LeastLinkBytesPerSec;
    const std::optional<QList<QByteArray>> rates = ask(urls.controlURL_CIF, data.CIF.servicetype,
        "GetCommonLinkProperties", {"NewLayer1DownstreamMaxBitRate", "NewLayer1UpstreamMaxBitRate"});
    if (!rates)
        return;
    for (const QByteArray &rate : *rates) {
        quint64 bits = 0;
        const auto [end, failed] = std::from_chars(rate.begin(), rate.end(), bits);
        if (failed == std::errc() && end == rate.end())
            linkBytesPerSec = std::max(linkBytesPerSec, bits / 8);
    }
}

RouterInfo RouterClient::info() const
{
    return d->info;
}

quint64 RouterClient::linkBytesPerSec() const
{
    return d->linkBytesPerSec;
}

QString RouterClient::errorString() const
{
    return d->error;
}

std::optional<RouterReading> RouterClient::read()
{
    if (!d->opened) {
        d->error = QStringLiteral("the router is not open");
        return std::nullopt;
    }
    const char *const cif = d->urls.controlURL_CIF;
    const char *const cifType = d->data.CIF.servicetype;
    std::optional<QList<QByteArray>> counters;
    bool wide = false;
    if (d->askWide) {
        bool answered = false;
        counters = d->ask(cif, cifType, "GetAddonInfos",
            {"NewX_AVM_DE_TotalBytesReceived64", "NewX_AVM_DE_TotalBytesSent64"}, &answered);
        if (!answered)
            return std::nullopt;
        // A router that answers it otherwise has no 64-bit counters (miniupnpd: fault 401).
        d->askWide = counters.has_value();
        wide = counters.has_value();
    }
    if (!counters) {
        const std::optional<QList<QByteArray>> in
            = d->ask(cif, cifType, "GetTotalBytesReceived", {"NewTotalBytesReceived"});
        if (!in)
            return std::nullopt;
        const std::optional<QList<QByteArray>> out = d->ask(cif, cifType, "GetTotalBytesSent", {"NewTotalBytesSent"});
        if (!out)
            return std::nullopt;
        counters = QList<QByteArray> {in->first(), out->first()};
    }
    // The uptime is the WAN connection's, where the router has one; without it the counters
    // still count, only a reboot is then told from a wrap by the link's rate alone.
    std::optional<QByteArray> uptime;
    if (d->urls.controlURL && d->urls.controlURL[0] && d->data.first.servicetype[0]) {
        if (const std::optional<QList<QByteArray>> status
            = d->ask(d->urls.controlURL, d->data.first.servicetype, "GetStatusInfo", {"NewUptime"}))
            uptime = status->first();
    }
    const std::optional<RouterReading> reading = RouterReading::fromAnswers(counters->at(0), counters->at(1), wide,
        uptime ? std::optional<QByteArrayView>(*uptime) : std::nullopt);
    if (!reading) {
        d->error = QStringLiteral("counters that are not decimal numbers: %1 and %2")
                       .arg(RouterAnswer::shown(counters->at(0)), RouterAnswer::shown(counters->at(1)));
        return std::nullopt;
    }
    d->error.clear();
    return reading;
}
