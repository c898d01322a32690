#include "App/Core/ClaudeHookCoverage.h"

#include "Telemetry/MetricsEngine.h"

namespace ClaudeHookCoverage {

bool supersededByHooks(const AgentEvent &event, const MetricsEngine &metrics)
{
    if (event.source != AgentSource::claudeCodeJsonl)
        return false;
    const bool turnOrTool = std::holds_alternative<TurnStarted>(event.kind)
        || std::holds_alternative<TurnEnded>(event.kind) || std::holds_alternative<ToolCall>(event.kind);
    if (!turnOrTool)
        return false;
    const auto agent = metrics.agents().find(DisplayAgent::claudeCode);
    if (agent == metrics.agents().end())
        return false;
    const auto session = agent->second.sessions.find(event.sessionId);
    return session != agent->second.sessions.end() && session->second.turnsFromHooks;
}

bool isRunningToolCall(const AgentEvent &event)
{
    const auto *call = std::get_if<ToolCall>(&event.kind);
    return call && event.source == AgentSource::claudeCodeHooks && !call->durationMs && !call->failed;
}

} // namespace ClaudeHookCoverage
