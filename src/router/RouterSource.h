// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/RouterInfo.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

class Clock;

// The chosen router as a metered source, seen from the window thread. Its counters are read
// every few seconds on a thread of its own, so a router that is slow to answer never holds up
// a poll; each answer is turned into the household's bytes since the answer before (a first
// answer adds nothing, a 32-bit wrap counts as a wrap, a reboot counts from 0, a change beyond
// the link's rate is not counted), and the poll takes what has arrived.
class RouterSource final : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReadIntervalMsecs = 5000;

    explicit RouterSource(const Clock &clock, QObject *parent = nullptr);
    ~RouterSource() override; // stops the reading thread and waits for it

    // Starts following the router at descriptionUrl (stopping any other), read every
    // intervalMsecs; shownName is what to call it until it answers with its own friendly name.
    // An empty url stops following.
    void follow(const QString &descriptionUrl, const QString &shownName, int intervalMsecs = ReadIntervalMsecs);
    bool following() const;
    QString name() const;

    struct Taken
    {
        quint64 in = 0;
        quint64 out = 0;
        qint64 spanMsecs = 0; // the time the bytes were carried in (between the answers)
        bool fresh = false; // at least one answer came since the last take
        bool rebooted = false; // the router counted again from 0 in between
    };
    // The bytes that arrived since the last take, and empties them.
    Taken take();

    // When the router stopped answering (wall clock); invalid while it answers.
    QDateTime silentSince() const;
    // Why it does not answer, while it does not.
    QString problem() const;

Q_SIGNALS:
    // The name, the silence or the problem changed.
    void changed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
