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
    , m_refused(EventStore::maxUnstoredEvents)
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
        fromCodex = fromCodex || isCodexSource(event.source);
        if (std::optional<StoredAgentEvent> resent = resentRow(event)) {
            rows.append(std::move(*resent));
            continue;
        }
        // A transcript repeats the model on every content block of a response: one row per change.
        const bool keep = m_metrics.changesModel(event);
        const std::optional<CountedTokens> counted = m_metrics.apply(event, true, std::nullopt);
        if (!m_store || !keep || ClaudeHookCoverage::isRunningToolCall(event))
            continue;
        // Read after applying, so an event that announces a model is stored with it.
        rows.append({event, modelInForce(event), storedShare(event, counted)});
    }
    const bool stored = store(rows);
    if (fromCodex && m_onCodexEvent)
        m_onCodexEvent();
    return stored;
}

std::optional<QString> EventPipeline::modelInForce(const AgentEvent &event) const
{
    const auto &agents = m_metrics.agents();
    const auto found = agents.find(displayAgent(event.source));
    return found != agents.end() ? found->second.model : std::nullopt;
}

std::optional<StoredAgentEvent> EventPipeline::resentRow(const AgentEvent &event) const
{
    if (m_refused.isEmpty())
        return std::nullopt;
    StoredAgentEvent row{event, modelInForce(event), std::nullopt};
    const std::optional<CountedTokens> *counted = m_refused.countedShareOf(row);
    if (!counted)
        return std::nullopt;
    // The engine counted it when the refused group came; the row keeps what it counted then.
    row.counted = *counted;
    return row;
}

bool EventPipeline::store(const QList<StoredAgentEvent> &rows)
{
    if (!m_store)
        return true;
    if (!m_store->insertAll(rows)) {
        m_refused.remember(rows);
        return false;
    }
    m_refused.forget(rows);
    return true;
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
