#include "App/Core/EventPipeline.h"

#include "App/Core/ClaudeHookCoverage.h"
#include "Persistence/EventStore.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"

EventPipeline::EventPipeline(EventBus &bus, MetricsEngine &metrics, EventStore *store,
                             std::function<void()> onCodexEvent, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_metrics(metrics)
    , m_store(store)
    , m_onCodexEvent(std::move(onCodexEvent))
{
    bus.setSink([this](const QList<AgentEvent> &events) { return deliver(events); });
}

EventPipeline::~EventPipeline()
{
    m_bus.setSink({});
}

bool EventPipeline::deliver(const QList<AgentEvent> &events)
{
    QList<StoredAgentEvent> rows;
    rows.reserve(m_store ? events.size() : 0);
    bool fromCodex = false;
    for (const AgentEvent &event : events) {
        if (ClaudeHookCoverage::supersededByHooks(event, m_metrics))
            continue;
        m_metrics.apply(event, true, std::nullopt);
        fromCodex = fromCodex || isCodexSource(event.source);
        if (!m_store || ClaudeHookCoverage::isRunningToolCall(event))
            continue;
        // Read after applying, so an event that announces a model is stored with it.
        const auto &agents = m_metrics.agents();
        const auto found = agents.find(displayAgent(event.source));
        rows.append({event, found != agents.end() ? found->second.model : std::nullopt});
    }
    const bool stored = !m_store || m_store->insertAll(rows);
    if (fromCodex && m_onCodexEvent)
        m_onCodexEvent();
    return stored;
}
