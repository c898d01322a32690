#include "Platform/ManualClock.h"

#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <memory>

class ManualTimer final : public Timer {
public:
    ManualTimer(ManualClock &clock, std::chrono::milliseconds interval, Clock::Repeat repeat, QObject *parent,
                std::function<void()> onTimeout)
        : Timer(parent)
        , clock(clock)
        , interval(interval.count())
        , repeat(repeat)
        , onTimeout(std::move(onTimeout))
    {
    }
    ~ManualTimer() override { clock.forget(this); }

    void start() override { clock.start(this); }
    void stop() override { clock.stop(this); }
    bool isActive() const override { return clock.isActive(this); }

    ManualClock &clock;
    const qint64 interval;
    const Clock::Repeat repeat;
    const std::function<void()> onTimeout;
};

ManualClock::ManualClock(QDateTime start)
    : m_now(std::move(start))
{
}

ManualClock::~ManualClock()
{
    if (!m_countdowns.empty())
        qFatal("ManualClock destroyed before %zu of its timers", m_countdowns.size());
}

QDateTime ManualClock::now() const
{
    QMutexLocker lock(&m_mutex);
    return m_now;
}

Timer *ManualClock::createTimer(std::chrono::milliseconds interval, Repeat repeat, QObject *parent,
                                std::function<void()> onTimeout)
{
    auto *timer = new ManualTimer(*this, interval, repeat, parent, std::move(onTimeout));
    QMutexLocker lock(&m_mutex);
    m_countdowns.emplace(timer, Countdown{});
    return timer;
}

void ManualClock::advance(std::chrono::milliseconds by)
{
    const qint64 until = [&] {
        QMutexLocker lock(&m_mutex);
        return m_elapsed + by.count();
    }();
    for (;;) {
        QSemaphore done;
        ManualTimer *due = nullptr;
        bool here = false;
        {
            QMutexLocker lock(&m_mutex);
            due = moveToNextDue(until);
            if (!due)
                return;
            here = due->thread() == QThread::currentThread();
            if (!here) {
                // Posted under the lock, so the timer cannot go meanwhile. Its thread may destroy it
                // before the call runs: the call is then dropped, and its releaser goes with it.
                auto releaser = std::make_shared<QSemaphoreReleaser>(done);
                QMetaObject::invokeMethod(due, [this, due, releaser] { fire(due); }, Qt::QueuedConnection);
            }
        }
        if (here)
            fire(due);
        else if (!done.tryAcquire(1, 30000))
            qFatal("ManualClock: a timer's thread did not run it");
    }
}

ManualTimer *ManualClock::moveToNextDue(qint64 until)
{
    auto next = m_countdowns.end();
    for (auto it = m_countdowns.begin(); it != m_countdowns.end(); ++it) {
        const Countdown &countdown = it->second;
        if (!countdown.active || countdown.deadline > until)
            continue;
        if (next == m_countdowns.end() || countdown.deadline < next->second.deadline
            || (countdown.deadline == next->second.deadline && countdown.order < next->second.order))
            next = it;
    }
    const qint64 to = next == m_countdowns.end() ? until : std::max(m_elapsed, next->second.deadline);
    m_now = m_now.addMSecs(to - m_elapsed);
    m_elapsed = to;
    return next == m_countdowns.end() ? nullptr : next->first;
}

void ManualClock::fire(ManualTimer *timer)
{
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_countdowns.find(timer);
        // Stopped or restarted since it came due.
        if (found == m_countdowns.end() || !found->second.active || found->second.deadline > m_elapsed)
            return;
        Countdown &countdown = found->second;
        if (timer->repeat == Repeat::once)
            countdown.active = false;
        else
            countdown = Countdown{countdown.deadline + timer->interval, ++m_starts, true};
    }
    // A copy: the callback may delete its timer.
    const std::function<void()> onTimeout = timer->onTimeout;
    onTimeout();
}

void ManualClock::set(const QDateTime &now)
{
    QMutexLocker lock(&m_mutex);
    m_now = now;
}

int ManualClock::activeTimers() const
{
    QMutexLocker lock(&m_mutex);
    return int(std::count_if(m_countdowns.cbegin(), m_countdowns.cend(),
                             [](const auto &entry) { return entry.second.active; }));
}

void ManualClock::start(ManualTimer *timer)
{
    QMutexLocker lock(&m_mutex);
    m_countdowns[timer] = Countdown{m_elapsed + timer->interval, ++m_starts, true};
}

void ManualClock::stop(ManualTimer *timer)
{
    QMutexLocker lock(&m_mutex);
    m_countdowns[timer].active = false;
}

bool ManualClock::isActive(const ManualTimer *timer) const
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_countdowns.find(const_cast<ManualTimer *>(timer));
    return found != m_countdowns.end() && found->second.active;
}

void ManualClock::forget(ManualTimer *timer)
{
    QMutexLocker lock(&m_mutex);
    m_countdowns.erase(timer);
}
