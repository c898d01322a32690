#include "App/Core/RefusedEvents.h"

RefusedEvents::RefusedEvents(qsizetype capacity)
    : m_capacity(capacity)
{
}

const std::optional<CountedTokens> *RefusedEvents::countedShareOf(const StoredAgentEvent &row) const
{
    const std::optional<Content> content = contentOf(row);
    if (!content)
        return nullptr;
    const auto found = m_entries.constFind(*content);
    return found != m_entries.cend() ? &found->counted : nullptr;
}

void RefusedEvents::remember(std::span<const StoredAgentEvent> refused)
{
    for (const StoredAgentEvent &row : refused) {
        if (std::optional<Content> content = contentOf(row))
            remember(std::move(*content), row.counted);
    }
}

void RefusedEvents::remember(Content content, const std::optional<CountedTokens> &counted)
{
    forget(content); // a row refused again counts as the newest
    if (m_entries.size() >= m_capacity) {
        m_entries.remove(m_oldestFirst.front());
        m_oldestFirst.pop_front();
    }
    const auto age = m_oldestFirst.insert(m_oldestFirst.end(), content);
    m_entries.insert(std::move(content), Entry{age, counted});
}

void RefusedEvents::forget(std::span<const StoredAgentEvent> stored)
{
    if (isEmpty())
        return;
    for (const StoredAgentEvent &row : stored) {
        if (const std::optional<Content> content = contentOf(row))
            forget(*content);
    }
}

void RefusedEvents::forget(const Content &content)
{
    if (const auto found = m_entries.constFind(content); found != m_entries.cend()) {
        m_oldestFirst.erase(found->age);
        m_entries.erase(found);
    }
}

std::optional<RefusedEvents::Content> RefusedEvents::contentOf(const StoredAgentEvent &row)
{
    const AgentEvent &event = row.event;
    Content content{event.source, event.sessionId, event.timestamp.toMSecsSinceEpoch(), event.kind.index()};
    content.model = row.modelAtEvent;
    if (const auto *usage = std::get_if<TokenUsage>(&event.kind)) {
        content.input = usage->inputTokens;
        content.output = usage->outputTokens;
        content.cached = usage->cachedTokens;
    } else if (const auto *snapshot = std::get_if<SessionSnapshot>(&event.kind)) {
        content.input = snapshot->inputTokens;
        content.output = snapshot->outputTokens;
        content.cached = snapshot->cachedTokens;
    } else if (const auto *call = std::get_if<ToolCall>(&event.kind)) {
        content.tool = call->name;
        content.durationMs = call->durationMs;
    } else if (const auto *info = std::get_if<ModelInfo>(&event.kind)) {
        content.model = info->model;
    } else if (std::holds_alternative<StateText>(event.kind) || std::holds_alternative<SessionReport>(event.kind)
               || std::holds_alternative<PlanLimits>(event.kind)) {
        return std::nullopt;
    }
    return content;
}
