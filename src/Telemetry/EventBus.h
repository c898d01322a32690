#pragma once

#include "Telemetry/AgentEvent.h"

#include <QList>
#include <QObject>

#include <condition_variable>
#include <functional>
#include <mutex>

// Carries events from the adapters to the main thread, in order.
//
// Events published from other threads wait in one queue and are delivered together on a later
// turn of the bus's thread: the sink (the one subscriber that stores) takes the whole group at
// once, so a burst becomes one transaction, and its verdict goes to every receipt of the group.
// The queue is bounded: a publisher that finds it full waits until the bus's thread drains it,
// so a producer that outruns the store slows down instead of growing the queue without limit.
class EventBus : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventBus)

public:
    // A publisher from another thread waits while this many events are queued.
    static constexpr qsizetype maxQueuedEvents = 16384;

    // Told on the bus's thread, once the sink has handled the events, whether they were stored.
    using Receipt = std::function<void(bool stored)>;
    // Handles a group of events in order; returns whether they are stored.
    using Sink = std::function<bool(const QList<AgentEvent> &events)>;

    // Create on the main thread; deliveries always happen on the bus's thread.
    explicit EventBus(QObject *parent = nullptr);

    // On the bus's thread subscribers run before this returns; from any other
    // thread the event is queued and this returns at once (or once the queue has room).
    void publish(const AgentEvent &event);
    // The same for a group, with a receipt called once the sink has handled the group. Never called
    // when the bus closes first.
    void publish(QList<AgentEvent> events, Receipt receipt);

    // Set once, on the bus's thread, before anything is published.
    void setSink(Sink sink) { m_sink = std::move(sink); }
    // Releases waiting publishers; later publications from other threads are dropped unreceipted.
    // Call before stopping the threads that publish.
    void close();

Q_SIGNALS:
    // Subscribe to this; connect with the subscriber as context so a destroyed one is never called.
    void eventPublished(const AgentEvent &event);

private:
    void deliver(const QList<AgentEvent> &events, const QList<Receipt> &receipts);
    void deliverQueued();

    Sink m_sink;

    std::mutex m_mutex;
    std::condition_variable m_drained;
    QList<AgentEvent> m_queued;
    QList<Receipt> m_receipts;
    bool m_deliveryPosted = false;
    bool m_closed = false;
};
