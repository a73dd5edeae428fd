// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterSource.h"

#include "core/Clock.h"
#include "core/traffic/RouterReadingStep.h"
#include "router/RouterClient.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>

Q_DECLARE_METATYPE(RouterReading)

namespace {
Q_LOGGING_CATEGORY(lcRouter, "varnolt.router")

// How long the destructor and follow() wait for a read in progress. A router that does not
// answer holds a call for up to 3 s (connect) or 5 s (each wait for more of an answer) in the
// client library, and one that sends a byte now and then for as long as it likes: rather than
// freeze the window, a thread still reading after this is left to end on its own.
constexpr unsigned long StopWaitMsecs = 1000;

// A reading thread that has said nothing for this long is taken as a router not answering
// (a read that never ends does not fail).
constexpr qint64 StuckMsecs = 30'000;

qint64 steadyMsecs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// Lives on the reading thread: opens the router (again each interval until it opens), reads
// it, and hands each answer, stamped, to the window thread.
class RouterReader final : public QObject
{
    Q_OBJECT
public:
    RouterReader(QString url, int intervalMsecs)
        : m_url(std::move(url))
        , m_intervalMsecs(intervalMsecs)
    {
    }

    void start()
    {
        auto *timer = new QTimer(this);
        timer->setInterval(m_intervalMsecs);
        connect(timer, &QTimer::timeout, this, &RouterReader::readNow);
        timer->start();
        readNow();
    }

Q_SIGNALS:
    void answered(const RouterReading &reading, qint64 steadyMsecs, const QString &name, quint64 linkBytesPerSec);
    void failed(const QString &why, qint64 steadyMsecs);

private:
    void readNow()
    {
        if (!m_open) {
            m_open = m_client.open(m_url);
            if (!m_open) {
                Q_EMIT failed(m_client.errorString(), steadyMsecs());
                return;
            }
        }
        const std::optional<RouterReading> reading = m_client.read();
        if (!reading) {
            // Opened again next time: a router that came back may give other addresses.
            m_open = false;
            Q_EMIT failed(m_client.errorString(), steadyMsecs());
            return;
        }
        Q_EMIT answered(*reading, steadyMsecs(), m_client.info().friendlyName, m_client.linkBytesPerSec());
    }

    const QString m_url;
    const int m_intervalMsecs;
    RouterClient m_client;
    bool m_open = false;
};

struct RouterSource::Private
{
    Private(RouterSource *source, const Clock &sourceClock)
        : q(source)
        , clock(sourceClock)
    {
    }

    RouterSource *q;
    const Clock &clock;
    QThread *thread = nullptr;
    QObject *context = nullptr; // the receiving end of the thread's answers, new for each follow
    QString url;
    QString shownName;
    QString friendlyName;
    QDateTime silentSince;
    QString problem;
    RouterReadingStep step;
    std::optional<qint64> lastAnswerMsecs;
    qint64 lastReportMsecs = 0;
    Taken taken;
    QTimer watchdog;

    void stop();
    void onAnswer(const RouterReading &reading, qint64 atMsecs, const QString &name, quint64 linkBytesPerSec);
    void onFailure(const QString &why);
    void logStep(const RouterReadingStep::Step &step, qint64 elapsed, const RouterReading &reading);
};

RouterSource::RouterSource(const Clock &clock, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, clock))
{
    qRegisterMetaType<RouterReading>();
    d->watchdog.setInterval(StuckMsecs / 3);
    connect(&d->watchdog, &QTimer::timeout, this, [this] {
        if (d->thread && steadyMsecs() - d->lastReportMsecs > StuckMsecs)
            d->onFailure(QStringLiteral("no answer within %1 s").arg(StuckMsecs / 1000));
    });
}

RouterSource::~RouterSource()
{
    d->stop();
}

void RouterSource::Private::stop()
{
    watchdog.stop();
    delete context; // no answer of the old thread arrives after this
    context = nullptr;
    if (!thread)
        return;
    thread->quit();
    if (!thread->wait(StopWaitMsecs)) {
        qCWarning(lcRouter) << "the router" << url << "is still being read; the reading thread ends on its own";
        thread->setParent(nullptr);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    } else {
        delete thread;
    }
    thread = nullptr;
}

void RouterSource::follow(const QString &descriptionUrl, const QString &shownName, int intervalMsecs)
{
    d->stop();
    d->url = descriptionUrl;
    d->shownName = shownName;
    d->friendlyName.clear();
    d->problem.clear();
    d->step.restart();
    d->lastAnswerMsecs.reset();
    d->taken = {};
    d->silentSince = descriptionUrl.isEmpty() ? QDateTime() : d->clock.now();
    if (!descriptionUrl.isEmpty()) {
        d->thread = new QThread;
        d->thread->setObjectName(QStringLiteral("router"));
        auto *reader = new RouterReader(descriptionUrl, intervalMsecs);
        reader->moveToThread(d->thread);
        connect(d->thread, &QThread::started, reader, &RouterReader::start);
        connect(d->thread, &QThread::finished, reader, &QObject::deleteLater);
        d->context = new QObject;
        connect(reader, &RouterReader::answered, d->context,
            [this](const RouterReading &reading, qint64 at, const QString &name, quint64 link) {
                d->onAnswer(reading, at, name, link);
            });
        connect(reader, &RouterReader::failed, d->context,
            [this](const QString &why, qint64) { d->onFailure(why); });
        d->lastReportMsecs = steadyMsecs();
        d->thread->start();
        d->watchdog.start();
    }
    Q_EMIT changed();
}

bool RouterSource::following() const
{
    return d->thread != nullptr;
}

QString RouterSource::name() const
{
    return d->friendlyName.isEmpty() ? d->shownName : d->friendlyName;
}

RouterSource::Taken RouterSource::take()
{
    return std::exchange(d->taken, {});
}

QDateTime RouterSource::silentSince() const
{
    return d->silentSince;
}

QString RouterSource::problem() const
{
    return d->problem;
}

void RouterSource::Private::onAnswer(
    const RouterReading &reading, qint64 atMsecs, const QString &name, quint64 linkBytesPerSec)
{
    lastReportMsecs = steadyMsecs();
    const qint64 elapsed = lastAnswerMsecs ? atMsecs - *lastAnswerMsecs : 0;
    const RouterReadingStep::Step got = step.next(reading, elapsed, linkBytesPerSec);
    if (lastAnswerMsecs) {
        taken.in += got.in;
        taken.out += got.out;
        taken.spanMsecs += elapsed;
        taken.rebooted = taken.rebooted || got.rebooted;
        logStep(got, elapsed, reading);
    }
    lastAnswerMsecs = atMsecs;
    taken.fresh = true;
    bool change = false;
    if (silentSince.isValid()) {
        if (problem.isEmpty())
            qCInfo(lcRouter).noquote() << "the router" << url << "answers";
        else
            qCInfo(lcRouter).noquote() << "the router" << url << "answers again after"
                                       << silentSince.secsTo(clock.now()) << "s";
        silentSince = {};
        problem.clear();
        change = true;
    }
    if (name != friendlyName) {
        friendlyName = name;
        change = true;
    }
    if (change)
        Q_EMIT q->changed();
}

void RouterSource::Private::onFailure(const QString &why)
{
    lastReportMsecs = steadyMsecs();
    bool change = false;
    if (!silentSince.isValid()) {
        silentSince = clock.now();
        change = true;
    }
    if (why != problem) {
        qCWarning(lcRouter).noquote() << "the router" << url << "does not answer:" << why;
        problem = why;
        change = true;
    }
    if (change)
        Q_EMIT q->changed();
}

void RouterSource::Private::logStep(const RouterReadingStep::Step &got, qint64 elapsed, const RouterReading &reading)
{
    const auto say = [&](const char *what) {
        qCInfo(lcRouter).noquote() << "the router" << url << what << "(received" << reading.received << "sent"
                                   << reading.sent << "after" << elapsed << "ms)";
    };
    if (got.rebooted)
        say("rebooted or reset its counters: counted from 0");
    if (got.restarted)
        say("restarted its service and kept its counters");
    if (got.wrapped)
        say("wrapped a 32-bit counter");
    if (got.ambiguous)
        say("was not read for long enough that a whole turn of a 32-bit counter may be missing");
    if (got.dropped)
        say("changed by more than its link carries in the time: not counted");
}

#include "RouterSource.moc"
