// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Clock.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <mutex>
#include <string>

// The local UTC offset and the span of time over which it holds, kept until something may
// have changed it.
class SystemClock::LocalOffset
{
public:
    LocalOffset();
    ~LocalOffset();
    LocalOffset(const LocalOffset &) = delete;
    LocalOffset &operator=(const LocalOffset &) = delete;

    int at(qint64 msecs);

private:
    // Without the watches (no event loop, no inotify), a change of zone is looked for once a minute.
    static constexpr qint64 RecheckMsecs = 60000;

    void refresh(qint64 msecs);
    void watch();
    void rewatchZoneFile();
    void readEvents();

    std::mutex m_mutex;
    std::atomic<bool> m_stale {true};
    bool m_watched = false;
    int m_offset = 0;
    qint64 m_from = 0; // the offset holds from m_from up to, not including, m_until
    qint64 m_until = 0;
    bool m_tzSet = false;
    std::string m_tz;
    int m_inotify = -1;
    int m_zoneWatch = -1;
    int m_mounts = -1;
    std::unique_ptr<QSocketNotifier> m_inotifyNotifier;
    std::unique_ptr<QSocketNotifier> m_mountsNotifier;
};

SystemClock::LocalOffset::LocalOffset()
{
    watch();
}

SystemClock::LocalOffset::~LocalOffset()
{
    m_inotifyNotifier.reset();
    m_mountsNotifier.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
    if (m_mounts >= 0)
        ::close(m_mounts);
}

void SystemClock::LocalOffset::watch()
{
    // Notifiers need the event loop of the thread they belong to.
    if (!QCoreApplication::instance() || !QThread::currentThread()->eventDispatcher())
        return;
    // /etc/localtime is replaced as a whole (a new link renamed over it), which only a watch of
    // /etc sees; the zone file it leads to can be rewritten in place (an update of the zone
    // data), which only a watch of the file sees. Nothing here costs a poll anything.
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0
        || inotify_add_watch(m_inotify, "/etc", IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB) < 0) {
        if (m_inotify >= 0)
            ::close(m_inotify);
        m_inotify = -1;
        return;
    }
    rewatchZoneFile();
    m_inotifyNotifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    QObject::connect(m_inotifyNotifier.get(), &QSocketNotifier::activated, [this] { readEvents(); });
    // A file system mounted over the zone's files (a bind mount over /etc/localtime, a new /etc)
    // shows in no inotify watch: the mount table says so, marked urgent (POLLPRI) on every change.
    m_mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_mounts >= 0) {
        m_mountsNotifier = std::make_unique<QSocketNotifier>(m_mounts, QSocketNotifier::Exception);
        QObject::connect(m_mountsNotifier.get(), &QSocketNotifier::activated, [this] { m_stale = true; });
    }
    m_watched = m_mounts >= 0;
}

void SystemClock::LocalOffset::rewatchZoneFile()
{
    if (m_inotify < 0)
        return;
    // The file the C library reads: TZ's (a name under the zone folder, or a path), else
    // /etc/localtime, followed to the zone file it links to.
    std::string path = "/etc/localtime";
    if (const char *tz = std::getenv("TZ"); tz && *tz) {
        std::string name = *tz == ':' ? tz + 1 : tz;
        path = name.empty() || name.front() == '/' ? name : "/usr/share/zoneinfo/" + name;
    }
    const int zoneWatch = path.empty() ? -1
                                       : inotify_add_watch(m_inotify, path.c_str(),
                                             IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
    if (m_zoneWatch >= 0 && m_zoneWatch != zoneWatch)
        inotify_rm_watch(m_inotify, m_zoneWatch);
    m_zoneWatch = zoneWatch;
}

void SystemClock::LocalOffset::readEvents()
{
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            const std::string name = event->len ? event->name : "";
            // In /etc only its zone's two files count; every event of the zone file does.
            changed = changed || event->wd == m_zoneWatch || (event->mask & IN_Q_OVERFLOW) || name == "localtime"
                || name == "timezone";
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    if (!changed)
        return;
    std::lock_guard lock(m_mutex);
    rewatchZoneFile();
    m_stale = true;
}

int SystemClock::LocalOffset::at(qint64 msecs)
{
    std::lock_guard lock(m_mutex);
    const char *tz = std::getenv("TZ");
    const bool tzChanged = (tz != nullptr) != m_tzSet || (tz && m_tz != tz);
    if (tzChanged) {
        m_tzSet = tz != nullptr;
        m_tz = tz ? tz : "";
        rewatchZoneFile();
    }
    if (m_stale.exchange(false) || tzChanged || msecs < m_from || msecs >= m_until)
        refresh(msecs);
    return m_offset;
}

void SystemClock::LocalOffset::refresh(qint64 msecs)
{
    // The offset from the C library, as a Qt local time has it (the library reads the zone's
    // file again when it changed); the span it holds for from Qt's reading of the same zone,
    // where the two agree.
    m_offset = QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime).offsetFromUtc();
    m_from = std::numeric_limits<qint64>::min();
    m_until = m_watched ? std::numeric_limits<qint64>::max() : msecs + RecheckMsecs;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime instant = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    if (!zone.isValid() || zone.offsetFromUtc(instant) != m_offset) {
        // Qt reads the zone otherwise (a zone file changed under a name it had read before):
        // the C library is asked again a minute later.
        m_from = msecs;
        m_until = msecs + RecheckMsecs;
        return;
    }
    if (!zone.hasTransitions())
        return;
    const QTimeZone::OffsetData next = zone.nextTransition(instant);
    if (next.atUtc.isValid())
        m_until = std::min(m_until, next.atUtc.toMSecsSinceEpoch());
    const QTimeZone::OffsetData last = zone.previousTransition(instant.addMSecs(1));
    if (last.atUtc.isValid())
        m_from = last.atUtc.toMSecsSinceEpoch();
}

SystemClock::SystemClock()
    : m_offset(std::make_unique<LocalOffset>())
{
}

SystemClock::~SystemClock() = default;

QDateTime SystemClock::now() const
{
    timespec time {};
    clock_gettime(CLOCK_REALTIME, &time);
    const qint64 msecs = qint64(time.tv_sec) * 1000 + time.tv_nsec / 1'000'000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, m_offset->at(msecs));
}
