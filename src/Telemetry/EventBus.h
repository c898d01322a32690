#pragma once

#include "Telemetry/AgentEvent.h"

#include <QObject>

// Carries events from the adapters to the main thread, in order.
class EventBus : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventBus)

public:
    // Create on the main thread; deliveries always happen on the bus's thread.
    explicit EventBus(QObject *parent = nullptr);

    // On the bus's thread subscribers run before this returns; from any other
    // thread one queued delivery is posted and this returns at once.
    void publish(const AgentEvent &event);

Q_SIGNALS:
    // Subscribe to this; connect with the subscriber as context so a destroyed one is never called.
    void eventPublished(const AgentEvent &event);
};
