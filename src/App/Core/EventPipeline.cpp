#include "App/Core/EventPipeline.h"

#include "App/Core/ClaudeHookCoverage.h"
#include "Persistence/EventStore.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/StoredAgentEvent.h"

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
        // A transcript repeats the model on every content block of a response: one row per change.
        const bool keep = m_metrics.changesModel(event);
        const std::optional<CountedTokens> counted = m_metrics.apply(event, true, std::nullopt);
        fromCodex = fromCodex || isCodexSource(event.source);
        if (!m_store || !keep || ClaudeHookCoverage::isRunningToolCall(event))
            continue;
        // Read after applying, so an event that announces a model is stored with it.
        const auto &agents = m_metrics.agents();
        const auto found = agents.find(displayAgent(event.source));
        rows.append({event, found != agents.end() ? found->second.model : std::nullopt, storedShare(event, counted)});
    }
    const bool stored = !m_store || m_store->insertAll(rows);
    if (fromCodex && m_onCodexEvent)
        m_onCodexEvent();
    return stored;
}

std::optional<CountedTokens> EventPipeline::storedShare(const AgentEvent &event, const std::optional<CountedTokens> &counted)
{
    // A usage that counted in full is stored as it is; the row then needs no counted share.
    if (const auto *usage = std::get_if<TokenUsage>(&event.kind)) {
        const CountedTokens full{usage->inputTokens, usage->outputTokens, usage->cachedTokens.value_or(0)};
        if (counted == full)
            return std::nullopt;
    }
    return counted;
}
