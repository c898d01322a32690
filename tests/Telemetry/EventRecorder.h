#pragma once

#include "Telemetry/EventBus.h"

#include <QList>
#include <QObject>

// Collects what the bus delivers on the main thread, with the delivery thread checked.
class EventRecorder : public QObject {
public:
    explicit EventRecorder(EventBus &bus)
    {
        connect(&bus, &EventBus::eventPublished, this, [this](const AgentEvent &event) {
            if (QThread::currentThread() != thread())
                offMainThread = true;
            events.append(event);
        });
    }

    QList<QString> caseNames() const
    {
        QList<QString> names;
        for (const AgentEvent &event : events)
            names.append(caseName(event.kind));
        return names;
    }

    QList<AgentEvent> events;
    bool offMainThread = false;
};
