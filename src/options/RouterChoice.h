// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/RouterInfo.h"

#include <QList>
#include <QObject>
#include <QString>

class OptionsControls;
class QThread;

// The Adapters page's router part: which router meters the household, if any. The routers
// that answer on the local network are looked for off the window thread (a search blocks for
// about two seconds) when the page is first shown and on "Search again"; a router that does
// not answer the search is given by its description's address. While a router is chosen the
// interface boxes are grey: the router's counters hold this computer's traffic too, so the
// interfaces are left out. The choice reaches the settings on OK only.
class RouterChoice final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RouterChoice)

public:
    static constexpr int SearchMsecs = 1500;
    static constexpr int MaxUrlLength = 1024;
    static constexpr int MaxNameLength = 64;

    // Shows the router stored in the settings (url empty: none) as chosen.
    RouterChoice(OptionsControls &controls, const QString &url, const QString &name);
    ~RouterChoice() override; // waits for a search under way

    // The search the page starts when it is first shown; later showings keep what was found.
    void searchOnce();
    void search();
    bool searching() const { return m_thread != nullptr; }

    // The choice: the description URL (empty for this computer's interfaces) and its name.
    QString url() const;
    QString name() const;

    // An address in the field that is not the chosen router's is taken as if "Use" were
    // pressed (OK does this first); false, with the reason shown, when it is refused.
    [[nodiscard]] bool takeTypedAddress();

    // Why an address typed by hand cannot be a router's description, empty when it can; its
    // form as stored goes to normalised.
    static QString refusal(const QString &typed, QString *normalised = nullptr);

private:
    void found(const QList<RouterInfo> &routers, const QString &error);
    // Sets the entries: this computer's interfaces, the routers found, and the chosen router
    // where the search did not find it; the chosen one stays chosen.
    void fillEntries(const QList<RouterInfo> &routers, const RouterInfo &chosen);
    void chosenChanged();
    RouterInfo chosen() const;

    OptionsControls &m_controls;
    QThread *m_thread = nullptr;
    QList<RouterInfo> m_found;
    bool m_searched = false;
};
