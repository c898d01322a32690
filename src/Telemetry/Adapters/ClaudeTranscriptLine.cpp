#include "Telemetry/Adapters/ClaudeTranscriptLine.h"

#include "Telemetry/Adapters/JsonInteger.h"
#include "Telemetry/Adapters/JsonMemberScanner.h"
#include "Telemetry/SaturatingMath.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<QString> stringMember(const std::vector<JsonMemberScanner::Member> &members, QByteArrayView key)
{
    const auto raw = JsonMemberScanner::find(members, key);
    return raw ? JsonMemberScanner::stringValue(*raw) : std::nullopt;
}

// Claude Code's counts are disjoint (uncached, read from cache, written to cache); ours count
// every input token and say how many of them came from the cache.
std::optional<TokenUsage> tokenUsage(const QJsonObject &usage)
{
    const qint64 uncached = jsonCount(usage.value(QLatin1String("input_tokens")));
    const qint64 output = jsonCount(usage.value(QLatin1String("output_tokens")));
    const qint64 cacheRead = jsonCount(usage.value(QLatin1String("cache_read_input_tokens")));
    const qint64 cacheWrite = jsonCount(usage.value(QLatin1String("cache_creation_input_tokens")));
    // Counts come from outside: their sums saturate rather than overflow.
    const qint64 input = saturatingAdd(saturatingAdd(uncached, cacheRead), cacheWrite);
    if (saturatingAdd(input, output) < 1)
        return std::nullopt;
    TokenUsage result;
    result.inputTokens = input;
    result.outputTokens = output;
    if (cacheRead >= 1)
        result.cachedTokens = cacheRead;
    // Writes are billed by how long the entry lives; without the split they are 5-minute writes.
    const QJsonValue split = usage.value(QLatin1String("cache_creation"));
    const qint64 write1h = jsonCount(split[QLatin1String("ephemeral_1h_input_tokens")]);
    const qint64 write5m = split.isObject() && split[QLatin1String("ephemeral_5m_input_tokens")].isDouble()
                               ? jsonCount(split[QLatin1String("ephemeral_5m_input_tokens")])
                               : std::max<qint64>(cacheWrite - write1h, 0);
    result.cacheWrite5mTokens = std::min(write5m, cacheWrite);
    result.cacheWrite1hTokens = std::min(write1h, cacheWrite - result.cacheWrite5mTokens);
    return result;
}

template <typename Add>
void appendAssistantEvents(ClaudeTranscriptLine &line, const QJsonObject &message, const Add &add)
{
    const QString model = message.value(QLatin1String("model")).toString();
    if (!model.isEmpty() && model != QLatin1String("<synthetic>"))
        add(ModelInfo{model});
    const QJsonValue usage = message.value(QLatin1String("usage"));
    if (usage.isObject()) {
        if (auto tokens = tokenUsage(usage.toObject()))
            add(*tokens);
    }
    const QJsonValue content = message.value(QLatin1String("content"));
    if (content.isArray()) {
        for (const QJsonValue &item : content.toArray()) {
            const QJsonObject block = item.toObject();
            const QJsonValue name = block.value(QLatin1String("name"));
            if (block.value(QLatin1String("type")).toString() == QLatin1String("tool_use") && name.isString())
                add(ToolCall{name.toString(), std::nullopt});
        }
    }
    const QJsonValue id = message.value(QLatin1String("id"));
    if (id.isString() && !id.toString().isEmpty())
        line.responseId = id.toString();
}

// A 429 on a plan limit: Claude Code writes a "<synthetic>" reply with the window that is full
// and its reset, the only utilization a transcript ever holds.
std::optional<PlanLimits> usageLimitReached(const std::vector<JsonMemberScanner::Member> &members, const QDateTime &at)
{
    if (stringMember(members, "apiError") != QLatin1String("usage_limit_reached"))
        return std::nullopt;
    PlanLimits limits;
    limits.limitId = QStringLiteral("claude");
    limits.channel = QStringLiteral("transcript");
    limits.reachedType = QStringLiteral("usage_limit_reached");
    limits.seenAt = at;
    const auto raw = JsonMemberScanner::find(members, "apiErrorParams");
    const QJsonObject info = raw ? QJsonDocument::fromJson(raw->toByteArray()).object().value(QLatin1String("rate_limit_info")).toObject()
                                 : QJsonObject();
    const QJsonValue resetsAt = info.value(QLatin1String("resetsAt"));
    if (resetsAt.isDouble())
        limits.reachedUntil = QDateTime::fromSecsSinceEpoch(resetsAt.toInteger(), Qt::UTC);
    const QString type = info.value(QLatin1String("rateLimitType")).toString();
    if (type == QLatin1String("five_hour"))
        limits.primary = LimitWindow{100, fiveHourWindowMinutes, limits.reachedUntil};
    else if (type == QLatin1String("seven_day"))
        limits.secondary = LimitWindow{100, weeklyWindowMinutes, limits.reachedUntil};
    return limits;
}

} // namespace

ClaudeTranscriptLine ClaudeTranscriptLine::parse(QByteArrayView text, const QString &fallbackSession,
                                                 const QDateTime &now)
{
    ClaudeTranscriptLine line;
    // The type decides whether the line matters; most bytes of a transcript are in lines that do
    // not, so their values are skipped rather than parsed.
    const auto members = JsonMemberScanner::scan(text);
    if (!members)
        return line;
    const std::optional<QString> type = stringMember(*members, "type");
    const bool isUser = type == QLatin1String("user");
    if (!isUser && type != QLatin1String("assistant"))
        return line;

    QJsonObject message;
    if (!isUser) {
        const auto raw = JsonMemberScanner::find(*members, "message");
        const QJsonDocument document = raw ? QJsonDocument::fromJson(raw->toByteArray()) : QJsonDocument();
        if (!document.isObject())
            return line;
        message = document.object();
    }

    const QString session = stringMember(*members, "sessionId").value_or(fallbackSession);
    if (const auto stamp = stringMember(*members, "timestamp"))
        line.stampedAt = QDateTime::fromString(*stamp, Qt::ISODateWithMs);
    const QDateTime timestamp = line.stampedAt.isValid() ? line.stampedAt : now;
    line.uuid = stringMember(*members, "uuid").value_or(QString());
    const auto add = [&](const AgentEventKind &kind) {
        line.events.append(AgentEvent::make(AgentSource::claudeCodeJsonl, session, kind, timestamp));
    };

    if (isUser) {
        add(TurnStarted{});
        return line;
    }
    appendAssistantEvents(line, message, add);
    if (auto limits = usageLimitReached(*members, timestamp))
        add(std::move(*limits));
    if (!line.responseId.isEmpty()) {
        if (const auto request = stringMember(*members, "requestId"); request && !request->isEmpty())
            line.responseId += QLatin1Char('\n') + *request;
    }
    return line;
}
