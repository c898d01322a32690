#pragma once

#include "Platform/Clock.h"

#include <QMutex>

#include <map>

class ManualTimer;

// A clock for tests that moves only when the test moves it. advance() fires the timers that come
// due on the way, in the order of their deadlines, each seeing now() at its deadline and each on
// its own thread: advance() waits while a timer of another thread runs there. Timers count in
// elapsed time, as QTimers do, so set() changes the date without firing any.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::fromString(QStringLiteral("2030-01-01T00:00:00Z"), Qt::ISODate));
    // Timers must be gone before their clock.
    ~ManualClock() override;

    QDateTime now() const override;
    Timer *createTimer(std::chrono::milliseconds interval, Repeat repeat, QObject *parent,
                       std::function<void()> onTimeout) override;

    // Moves now and the elapsed time on, firing what comes due up to and including the end.
    void advance(std::chrono::milliseconds by);
    // Jumps to another date, as a changed system clock would; no timer fires.
    void set(const QDateTime &now);
    // How many timers are counting down.
    int activeTimers() const;

private:
    friend class ManualTimer;

    struct Countdown {
        qint64 deadline = 0; // in elapsed milliseconds
        qint64 order = 0;    // start order, for timers due at the same moment
        bool active = false;
    };

    // Moves to the first deadline at or before `until` and returns its timer; null when none is due.
    ManualTimer *moveToNextDue(qint64 until);
    // Runs a timer that is still due; on its thread.
    void fire(ManualTimer *timer);

    void start(ManualTimer *timer);
    void stop(ManualTimer *timer);
    bool isActive(const ManualTimer *timer) const;
    void forget(ManualTimer *timer);

    mutable QMutex m_mutex;
    QDateTime m_now;
    qint64 m_elapsed = 0;
    qint64 m_starts = 0;
    std::map<ManualTimer *, Countdown> m_countdowns;
};
