// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>

// What the window benchmarks share: the process's memory, waiting for the event loop, a
// watch that times a step until a widget has painted, a mouse click, and the table of
// figures with their goals.
namespace WindowBench {

constexpr int WaitMsecs = 5000;

// The process's resident memory in kB: all of it (VmRSS) and its anonymous part (the heap,
// as against pages of the libraries and fonts mapped from files); and the bytes the heap
// holds allocated (glibc's count), which shows a leak that the resident size may hide in
// pages freed but kept.
struct Resident
{
    qint64 total = -1;
    qint64 anonymous = -1;
    qint64 heapBytes = -1;
};

inline Resident resident()
{
    Resident r;
    r.heapBytes = qint64(mallinfo2().uordblks);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return r;
    const auto kB = [](const QByteArray &line) {
        return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toLongLong();
    };
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            r.total = kB(line);
        else if (line.startsWith("RssAnon:"))
            r.anonymous = kB(line);
    }
    return r;
}

// Lets the event loop run for a while, so that the window manager and the X server are done
// with one step before the next is timed.
inline void settle(int msecs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < msecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Runs the event loop until done() holds, WaitMsecs at most; false when it never did.
inline bool waitUntil(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= WaitMsecs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // A window closed with WA_DeleteOnClose goes at the next return to the event loop,
        // which processEvents alone is not.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Times one step until a widget has painted: when the step returned, when the widget's window
// was exposed and when the repaint that follows was done. An application-wide filter, so that
// it sees the first events of a window that the step itself creates; the widget is asked for
// at each event, since it may not exist before the step.
class PaintWatch final : public QObject
{
public:
    struct Times
    {
        double returned = -1;
        double exposed = -1;
        double painted = -1;
    };
    using Target = std::function<QWidget *()>;

    PaintWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~PaintWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    Q_DISABLE_COPY_MOVE(PaintWatch)

    // Runs the step and waits until the widget has painted; painted stays -1 when it did not.
    template <typename Step> Times time(QWidget *widget, Step step)
    {
        return time(Target([widget] { return widget; }), step);
    }
    template <typename Step> Times time(Target target, Step step)
    {
        m_target = std::move(target);
        m_times = {};
        m_paints = 0;
        m_lastPainted = -1;
        m_timer.start();
        step();
        m_times.returned = msecs();
        if (m_times.painted < 0) {
            // A timer of this step alone: a single shot left from an earlier step would end a
            // later wait early.
            QTimer timeout;
            timeout.setSingleShot(true);
            QObject::connect(&timeout, &QTimer::timeout, &m_loop, &QEventLoop::quit);
            timeout.start(WaitMsecs);
            m_loop.exec();
        }
        return m_times;
    }

    // How often the widget of the last step has painted since that step began, and when the
    // last of those repaints was done: more than once is a repaint that follows the first,
    // which the time above does not include.
    int paints() const { return m_paints; }
    double lastPainted() const { return m_lastPainted; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_target || (event->type() != QEvent::Expose && event->type() != QEvent::Paint))
            return false;
        QWidget *widget = m_target();
        if (!widget)
            return false;
        if (event->type() == QEvent::Expose && m_times.exposed < 0 && watched == widget->window()->windowHandle()
            && widget->window()->windowHandle()->isExposed()) {
            m_times.exposed = msecs();
        } else if (event->type() == QEvent::Paint && watched == widget) {
            // The rest of this repaint, the other widgets and the flush to the window, ends
            // before the event loop takes its next event.
            const bool first = m_paints++ == 0;
            QTimer::singleShot(0, this, [this, first] {
                m_lastPainted = msecs();
                if (first) {
                    m_times.painted = m_lastPainted;
                    m_loop.quit();
                }
            });
        }
        return false;
    }

private:
    double msecs() const { return double(m_timer.nsecsElapsed()) / 1e6; }

    Target m_target;
    QElapsedTimer m_timer;
    QEventLoop m_loop;
    Times m_times;
    int m_paints = 0;
    double m_lastPainted = -1;
};

// A click as the mouse gives it: the press moves the focus to the button (a field left
// behind is checked then), the release clicks.
inline void click(QWidget *button)
{
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    const QPointF global = button->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QApplication::sendEvent(button, &release);
}

struct Figures
{
    double median = -1;
    double worst = -1;
};

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// A time below 0 is a step that failed, and fails the whole figure.
inline Figures figuresOf(QList<double> values)
{
    if (values.isEmpty() || *std::min_element(values.cbegin(), values.cend()) < 0)
        return {};
    return {median(values), *std::max_element(values.cbegin(), values.cend())};
}

// The figures as printed, each beside its goal; remembers whether every goal was met.
class Report
{
public:
    void time(const char *what, const Figures &figures, double goalMsecs)
    {
        const bool failed = figures.median < 0;
        const bool met = !failed && figures.median < goalMsecs;
        m_allMet = m_allMet && met;
        std::printf("  %-58s %8.1f ms %8.1f ms   < %2.0f ms  %s%s\n", what, figures.median, figures.worst, goalMsecs,
            failed ? "FAILED" : (met ? "ok" : "MISSED"), !failed && figures.worst >= goalMsecs ? " (worst over)" : "");
    }
    // A figure that explains another, without a goal of its own.
    static void part(const char *what, const Figures &figures)
    {
        std::printf("    %-56s %8.1f ms %8.1f ms\n", what, figures.median, figures.worst);
    }
    static void info(const char *what, const Figures &figures)
    {
        std::printf("  %-58s %8.1f ms %8.1f ms\n", what, figures.median, figures.worst);
    }
    // goal: the most the step may add, or below 0 for none.
    void memory(const char *what, double megabytes, double growth, double anonymous, double goal)
    {
        std::printf("  %-58s %6.1f MB %+6.1f MB  (%+5.1f MB)", what, megabytes, growth, anonymous);
        if (goal >= 0) {
            const bool met = growth <= goal;
            m_allMet = m_allMet && met;
            std::printf("   <= %.0f MB  %s", goal, met ? "ok" : "MISSED");
        }
        std::printf("\n");
    }
    // A goal checked by the caller, who prints its line; returns the word for it.
    const char *verdict(bool met)
    {
        m_allMet = m_allMet && met;
        return met ? "ok" : "MISSED";
    }
    bool allMet() const { return m_allMet; }

private:
    bool m_allMet = true;
};

} // namespace WindowBench
