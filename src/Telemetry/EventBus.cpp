#include "Telemetry/EventBus.h"

#include <QThread>

EventBus::EventBus(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<AgentEvent>();
}

void EventBus::publish(const AgentEvent &event)
{
    publish(QList<AgentEvent>{event}, nullptr);
}

void EventBus::publish(QList<AgentEvent> events, Receipt receipt)
{
    if (QThread::currentThread() == thread()) {
        deliver(events, receipt ? QList<Receipt>{std::move(receipt)} : QList<Receipt>{});
        return;
    }
    std::unique_lock lock(m_mutex);
    // A group larger than the bound still goes, alone, once the queue is empty.
    m_drained.wait(lock, [this] { return m_closed || m_queued.size() < maxQueuedEvents; });
    if (m_closed)
        return;
    m_queued.append(std::move(events));
    if (receipt)
        m_receipts.append(std::move(receipt));
    if (!m_deliveryPosted) {
        m_deliveryPosted = true;
        QMetaObject::invokeMethod(this, &EventBus::deliverQueued, Qt::QueuedConnection);
    }
}

void EventBus::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_queued.clear();
        m_receipts.clear();
    }
    m_drained.notify_all();
}

void EventBus::deliverQueued()
{
    QList<AgentEvent> events;
    QList<Receipt> receipts;
    {
        std::lock_guard lock(m_mutex);
        m_deliveryPosted = false;
        events.swap(m_queued);
        receipts.swap(m_receipts);
    }
    m_drained.notify_all();
    deliver(events, receipts);
}

void EventBus::deliver(const QList<AgentEvent> &events, const QList<Receipt> &receipts)
{
    const bool stored = !m_sink || m_sink(events);
    // The verdict is known once the sink has run: answer the waiting receivers before the views update.
    for (const Receipt &receipt : receipts)
        receipt(stored);
    for (const AgentEvent &event : events)
        Q_EMIT eventPublished(event);
}
