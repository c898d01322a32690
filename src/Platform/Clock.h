#pragma once

#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>

// A countdown made by a Clock. It calls its callback on its own thread (its parent's) once its
// interval has passed on that clock. Owned by its parent; destroy it on that thread.
class Timer : public QObject {
public:
    using QObject::QObject;
    // Starts the countdown from now, replacing one already running.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// "Now" and waiting. Injected, so that days, debounces and idle rules can be tested on a clock the
// test moves by hand; the application runs on system().
class Clock {
    Q_DISABLE_COPY_MOVE(Clock)

public:
    enum class Repeat { once, everyInterval };

    Clock() = default;
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    // A stopped timer, a child of parent, that calls onTimeout on parent's thread. Call it on that thread.
    virtual Timer *createTimer(std::chrono::milliseconds interval, Repeat repeat, QObject *parent,
                               std::function<void()> onTimeout) = 0;

    // UTC from the system clock and QTimers; lives as long as the process.
    static Clock &system();
};
