#include "Telemetry/EventBus.h"

#include <QThread>

EventBus::EventBus(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<AgentEvent>();
}

void EventBus::publish(const AgentEvent &event)
{
    if (QThread::currentThread() == thread()) {
        Q_EMIT eventPublished(event);
        return;
    }
    QMetaObject::invokeMethod(this, [this, event] { Q_EMIT eventPublished(event); }, Qt::QueuedConnection);
}
