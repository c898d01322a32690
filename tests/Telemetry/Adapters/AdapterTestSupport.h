#pragma once

#include "Platform/ManualClock.h"
#include "Telemetry/EventBus.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <vector>

// Helpers shared by the adapter tests: a recorder of published events.
namespace AdapterTest {

// Collects what the bus delivers, noting a delivery off the main thread.
class EventRecorder {
public:
    explicit EventRecorder(EventBus &bus)
    {
        QObject::connect(&bus, &EventBus::eventPublished, &m_context, [this](const AgentEvent &event) {
            if (QThread::currentThread() != m_context.thread())
                m_offMainThread = true;
            m_events.push_back(event);
        });
    }
    bool deliveredOffMainThread() const { return m_offMainThread; }
    // Delivers what adapters have already posted to the main thread.
    const std::vector<AgentEvent> &events()
    {
        QCoreApplication::sendPostedEvents();
        return m_events;
    }
    template <typename Kind>
    std::vector<AgentEvent> ofKind()
    {
        std::vector<AgentEvent> found;
        for (const AgentEvent &event : events()) {
            if (std::holds_alternative<Kind>(event.kind))
                found.push_back(event);
        }
        return found;
    }
    std::vector<QString> kindNames()
    {
        std::vector<QString> names;
        for (const AgentEvent &event : events())
            names.push_back(caseName(event.kind));
        return names;
    }
    // Generous: it returns as soon as the events are there.
    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(15))
    {
        return TestSupport::waitUntil([&] { return events().size() >= count; }, timeout);
    }
    void clear()
    {
        QCoreApplication::sendPostedEvents();
        m_events.clear();
    }

private:
    QObject m_context;
    std::vector<AgentEvent> m_events;
    bool m_offMainThread = false;
};

inline void appendFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot append to " + path.toStdString());
}

} // namespace AdapterTest
