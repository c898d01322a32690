#include "Platform/Clock.h"

#include <QTimer>

namespace {

class SystemTimer final : public Timer {
public:
    SystemTimer(std::chrono::milliseconds interval, Clock::Repeat repeat, QObject *parent,
                std::function<void()> onTimeout)
        : Timer(parent)
        , m_timer(new QTimer(this))
    {
        m_timer->setInterval(interval);
        m_timer->setSingleShot(repeat == Clock::Repeat::once);
        // A debounce ends at its deadline; a periodic check may let the system batch its wake-ups.
        m_timer->setTimerType(repeat == Clock::Repeat::once ? Qt::PreciseTimer : Qt::CoarseTimer);
        QObject::connect(m_timer, &QTimer::timeout, this, std::move(onTimeout));
    }

    void start() override { m_timer->start(); }
    void stop() override { m_timer->stop(); }
    bool isActive() const override { return m_timer->isActive(); }

private:
    QTimer *m_timer;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    Timer *createTimer(std::chrono::milliseconds interval, Repeat repeat, QObject *parent,
                       std::function<void()> onTimeout) override
    {
        return new SystemTimer(interval, repeat, parent, std::move(onTimeout));
    }
};

} // namespace

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}
