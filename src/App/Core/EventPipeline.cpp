#include "App/Core/EventPipeline.h"

#include "App/Core/ClaudeHookCoverage.h"
#include "Persistence/EventStore.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"

EventPipeline::EventPipeline(EventBus &bus, MetricsEngine &metrics, EventStore *store,
                             std::function<void()> onCodexEvent, QObject *parent)
    : QObject(parent)
    , m_metrics(metrics)
    , m_store(store)
    , m_onCodexEvent(std::move(onCodexEvent))
{
    connect(&bus, &EventBus::eventPublished, this, &EventPipeline::handle);
}

void EventPipeline::handle(const AgentEvent &event)
{
    if (ClaudeHookCoverage::supersededByHooks(event, m_metrics))
        return;
    m_metrics.apply(event, true, std::nullopt);
    if (m_store && !ClaudeHookCoverage::isRunningToolCall(event)) {
        // Read after applying, so an event that announces a model is stored with it.
        const auto &agents = m_metrics.agents();
        const auto found = agents.find(displayAgent(event.source));
        m_store->insert(event, found != agents.end() ? found->second.model : std::nullopt);
    }
    if (isCodexSource(event.source) && m_onCodexEvent)
        m_onCodexEvent();
}
