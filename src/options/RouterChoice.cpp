// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/RouterChoice.h"

#include "desktop/MessageBox.h"
#include "options/OptionsControls.h"
#include "router/RouterClient.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QUrl>

#include <memory>

namespace {

// A name from the network as the list shows it, its address where it gives none.
QString shownName(const QString &name, const QString &url)
{
    const QString clean = RouterInfo::shownName(name, RouterChoice::MaxNameLength);
    return clean.isEmpty() ? url : clean;
}

} // namespace

RouterChoice::RouterChoice(OptionsControls &controls, const QString &url, const QString &name)
    : m_controls(controls)
{
    fillEntries({}, {url, name});
    connect(m_controls.cboRouter, &QComboBox::currentIndexChanged, this, &RouterChoice::chosenChanged);
    connect(m_controls.bttRouterSearch, &QPushButton::clicked, this, &RouterChoice::search);
    connect(m_controls.bttRouterUrl, &QPushButton::clicked, this, [this] { (void)takeTypedAddress(); });
    chosenChanged();
}

RouterChoice::~RouterChoice()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void RouterChoice::searchOnce()
{
    if (!m_searched)
        search();
}

void RouterChoice::search()
{
    if (m_thread)
        return;
    m_searched = true;
    struct Answer
    {
        QList<RouterInfo> routers;
        QString error;
    };
    const auto answer = std::make_shared<Answer>();
    m_thread = QThread::create([answer] { answer->routers = RouterClient::discover(SearchMsecs, answer->error); });
    // Queued to this object: a dialog gone before the answer never hears of it.
    connect(m_thread, &QThread::finished, this, [this, answer] {
        m_thread->deleteLater();
        m_thread = nullptr;
        found(answer->routers, answer->error);
    });
    // The button is grey while the search runs: its focus goes to the list of routers, not on
    // to the address, whose text it would select.
    if (m_controls.bttRouterSearch->hasFocus())
        m_controls.cboRouter->setFocus(Qt::OtherFocusReason);
    m_controls.bttRouterSearch->setEnabled(false);
    m_controls.lblRouterStatus->setText(QStringLiteral("Looking for routers…"));
    m_thread->start();
}

void RouterChoice::found(const QList<RouterInfo> &routers, const QString &error)
{
    m_found.clear();
    for (const RouterInfo &router : routers) {
        QString address;
        if (refusal(router.descriptionUrl, &address).isEmpty())
            m_found.append({address, shownName(router.friendlyName, address)});
    }
    fillEntries(m_found, chosen());
    m_controls.bttRouterSearch->setEnabled(true);
    const qsizetype count = m_found.size();
    m_controls.lblRouterStatus->setText(!error.isEmpty() ? QStringLiteral("Routers could not be looked for: ") + error
            : count == 0 ? QStringLiteral("No router answered on this network.")
            : count == 1 ? QStringLiteral("1 router found.")
                         : QStringLiteral("%1 routers found.").arg(count));
}

void RouterChoice::fillEntries(const QList<RouterInfo> &routers, const RouterInfo &chosen)
{
    QComboBox *box = m_controls.cboRouter;
    const QSignalBlocker blocker(box);
    box->clear();
    box->addItem(QStringLiteral("This computer's interfaces"), QString());
    for (const RouterInfo &router : routers)
        box->addItem(router.friendlyName, router.descriptionUrl);
    if (!chosen.descriptionUrl.isEmpty() && box->findData(chosen.descriptionUrl) < 0)
        box->addItem(shownName(chosen.friendlyName, chosen.descriptionUrl), chosen.descriptionUrl);
    box->setCurrentIndex(std::max(0, box->findData(chosen.descriptionUrl)));
}

void RouterChoice::chosenChanged()
{
    const RouterInfo router = chosen();
    const bool interfaces = router.descriptionUrl.isEmpty();
    m_controls.lstAdapters->setEnabled(interfaces);
    m_controls.txtAdapters->setEnabled(interfaces);
    m_controls.txtRouterUrl->setText(router.descriptionUrl);
    m_controls.txtRouterUrl->setCursorPosition(0); // the address's start, its host, in view
}

RouterInfo RouterChoice::chosen() const
{
    const QComboBox *box = m_controls.cboRouter;
    return {box->currentData().toString(), box->currentIndex() > 0 ? box->currentText() : QString()};
}

QString RouterChoice::url() const
{
    return chosen().descriptionUrl;
}

QString RouterChoice::name() const
{
    return chosen().friendlyName;
}

bool RouterChoice::takeTypedAddress()
{
    const QString typed = m_controls.txtRouterUrl->text().trimmed();
    if (typed == url())
        return true;
    if (typed.isEmpty()) {
        m_controls.cboRouter->setCurrentIndex(0);
        return true;
    }
    QString address;
    const QString why = refusal(typed, &address);
    if (!why.isEmpty()) {
        MessageBox::critical(QStringLiteral("Varnolt"), why);
        m_controls.txtRouterUrl->setFocus();
        return false;
    }
    // A router the search found keeps the name it gives itself; another is called by its host
    // until it answers with its own.
    QString name = QUrl(address).authority();
    for (const RouterInfo &router : std::as_const(m_found)) {
        if (router.descriptionUrl == address)
            name = router.friendlyName;
    }
    fillEntries(m_found, {address, name});
    chosenChanged();
    return true;
}

QString RouterChoice::refusal(const QString &typed, QString *normalised)
{
    const QString text = typed.trimmed();
    const QUrl url(text, QUrl::StrictMode);
    const QString example = QStringLiteral("http://192.168.1.1:5000/rootDesc.xml");
    if (text.size() > MaxUrlLength)
        return QStringLiteral("The router's address is longer than %1 characters.").arg(MaxUrlLength);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return QStringLiteral("\"%1\" is not a router's address. Give the address of its description, such as %2.")
            .arg(text, example);
    if (url.scheme() != QLatin1String("http"))
        return QStringLiteral("Only an http:// address can be used: routers give their description over plain "
                              "http, and \"%1\" is a %2 address.")
            .arg(text, url.scheme());
    if (!url.userInfo().isEmpty())
        return QStringLiteral("The address holds a user name or password, which would be stored as plain text: "
                              "give it without them.");
    if (normalised)
        *normalised = url.toString(QUrl::FullyEncoded);
    return {};
}
