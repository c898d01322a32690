#include "Telemetry/Adapters/ClaudeCodeHookSource.h"

#include "Telemetry/Adapters/JsonInteger.h"
#include "Telemetry/EventBus.h"

namespace {

std::optional<QString> text(const QJsonObject &metadata, const char *key)
{
    const QString value = metadata.value(QLatin1String(key)).toString();
    return value.isEmpty() ? std::nullopt : std::optional(value);
}

// The call a tool event reports; PreToolUse's has no duration yet: it is running.
ToolCall toolCall(const QJsonObject &metadata, bool failed)
{
    ToolCall call;
    call.name = text(metadata, "tool_name").value_or(QStringLiteral("tool"));
    call.callId = text(metadata, "tool_use_id");
    call.durationMs = jsonInteger(metadata.value(QLatin1String("duration_ms")));
    call.failed = failed;
    return call;
}

std::optional<AgentEventKind> kindOf(const QJsonObject &metadata)
{
    const QString event = metadata.value(QLatin1String("hook_event_name")).toString();
    if (event == u"UserPromptSubmit")
        return TurnStarted{};
    // Interrupt is how an Esc at a permission prompt or during a tool ends the turn: no Stop follows.
    if (event == u"Stop" || event == u"StopFailure" || event == u"Interrupt" || event == u"SessionEnd")
        return TurnEnded{};
    if (event == u"PermissionRequest")
        return ApprovalRequested{};
    if (event == u"Notification" && text(metadata, "notification_type") == u"permission_prompt")
        return ApprovalRequested{};
    if (event == u"PreToolUse" || event == u"PostToolUse")
        return toolCall(metadata, false);
    if (event == u"PostToolUseFailure" || event == u"PermissionDenied")
        return toolCall(metadata, true);
    if (event == u"SessionStart" || event == u"PostModelSwitch") {
        if (const auto model = text(metadata, event == u"SessionStart" ? "model" : "to_model"))
            return ModelInfo{*model};
    }
    return std::nullopt;
}

} // namespace

ClaudeCodeHookSource::ClaudeCodeHookSource(EventBus &bus, const Environment &env)
    : m_bus(bus)
    , m_clock(*env.clock)
{
}

void ClaudeCodeHookSource::receive(const QJsonObject &metadata)
{
    for (const AgentEvent &event : events(metadata, m_clock.now()))
        m_bus.publish(event);
}

QList<AgentEvent> ClaudeCodeHookSource::events(const QJsonObject &metadata, const QDateTime &at)
{
    const std::optional<QString> session = text(metadata, "session_id");
    std::optional<AgentEventKind> kind = kindOf(metadata);
    if (!session || !kind)
        return {};
    return {AgentEvent::make(AgentSource::claudeCodeHooks, *session, std::move(*kind), at)};
}
