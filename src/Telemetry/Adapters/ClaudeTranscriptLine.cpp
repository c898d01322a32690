#include "Telemetry/Adapters/ClaudeTranscriptLine.h"

#include "Telemetry/Adapters/JsonLine.h"
#include "Telemetry/PlanLimits.h"
#include "Telemetry/SaturatingMath.h"

#include <algorithm>

namespace {

namespace sj = simdjson::ondemand;

// The cache writes by how long the entry lives; without the split they are 5-minute writes.
struct CacheWriteSplit {
    std::optional<qint64> fiveMinutes; // only when the split gives it as a number
    qint64 oneHour = 0;
};

CacheWriteSplit cacheWriteSplit(sj::object split)
{
    CacheWriteSplit result;
    for (auto field : split) {
        const std::string_view key = field.unescaped_key();
        sj::value value = field.value();
        if (key == "ephemeral_1h_input_tokens")
            result.oneHour = JsonLine::count(value);
        else if (key == "ephemeral_5m_input_tokens" && value.type() == sj::json_type::number)
            result.fiveMinutes = JsonLine::count(value);
    }
    return result;
}

// Claude Code's counts are disjoint (uncached, read from cache, written to cache); ours count
// every input token and say how many of them came from the cache.
std::optional<TokenUsage> tokenUsage(sj::object usage)
{
    qint64 uncached = 0, output = 0, cacheRead = 0, cacheWrite = 0;
    CacheWriteSplit split;
    for (auto field : usage) {
        const std::string_view key = field.unescaped_key();
        sj::value value = field.value();
        if (key == "input_tokens")
            uncached = JsonLine::count(value);
        else if (key == "output_tokens")
            output = JsonLine::count(value);
        else if (key == "cache_read_input_tokens")
            cacheRead = JsonLine::count(value);
        else if (key == "cache_creation_input_tokens")
            cacheWrite = JsonLine::count(value);
        else if (key == "cache_creation" && value.type() == sj::json_type::object)
            split = cacheWriteSplit(value.get_object());
    }
    // Counts come from outside: their sums saturate rather than overflow.
    const qint64 input = saturatingAdd(saturatingAdd(uncached, cacheRead), cacheWrite);
    if (saturatingAdd(input, output) < 1)
        return std::nullopt;
    TokenUsage result;
    result.inputTokens = input;
    result.outputTokens = output;
    if (cacheRead >= 1)
        result.cachedTokens = cacheRead;
    const qint64 write5m = split.fiveMinutes.value_or(std::max<qint64>(cacheWrite - split.oneHour, 0));
    result.cacheWrite5mTokens = std::min(write5m, cacheWrite);
    result.cacheWrite1hTokens = std::min(split.oneHour, cacheWrite - result.cacheWrite5mTokens);
    return result;
}

// The names of the content's tool_use blocks.
QList<QString> toolNames(sj::array content)
{
    QList<QString> names;
    for (auto item : content) {
        sj::value block = item.value();
        if (block.type() != sj::json_type::object)
            continue;
        std::optional<QString> type, name;
        for (auto field : block.get_object()) {
            const std::string_view key = field.unescaped_key();
            if (key == "type")
                type = JsonLine::string(field.value());
            else if (key == "name")
                name = JsonLine::string(field.value());
        }
        if (type == QLatin1String("tool_use") && name)
            names.append(*name);
    }
    return names;
}

struct AssistantMessage {
    std::optional<QString> model;
    std::optional<TokenUsage> usage;
    QList<QString> tools;
    QString id;
};

AssistantMessage assistantMessage(sj::object object)
{
    AssistantMessage message;
    for (auto field : object) {
        const std::string_view key = field.unescaped_key();
        sj::value value = field.value();
        if (key == "model")
            message.model = JsonLine::string(value);
        else if (key == "id")
            message.id = JsonLine::string(value).value_or(QString());
        else if (key == "usage" && value.type() == sj::json_type::object)
            message.usage = tokenUsage(value.get_object());
        else if (key == "content" && value.type() == sj::json_type::array)
            message.tools = toolNames(value.get_array());
    }
    return message;
}

// What a rejected request says of the plan window that is full.
struct RateLimitInfo {
    std::optional<qint64> resetsAt; // epoch seconds
    std::optional<QString> type;    // five_hour, seven_day
};

RateLimitInfo rateLimitInfo(sj::object apiErrorParams)
{
    RateLimitInfo info;
    for (auto field : apiErrorParams) {
        const std::string_view name = field.unescaped_key();
        sj::value value = field.value();
        if (name != "rate_limit_info" || value.type() != sj::json_type::object)
            continue;
        for (auto member : value.get_object()) {
            const std::string_view key = member.unescaped_key();
            sj::value inner = member.value();
            if (key == "resetsAt" && inner.type() == sj::json_type::number)
                info.resetsAt = JsonLine::count(inner);
            else if (key == "rateLimitType")
                info.type = JsonLine::string(inner);
        }
    }
    return info;
}

// The top-level members that matter, in whatever order the line holds them. The message is read
// before the type may be known (it often comes first); only its few metadata members are taken.
struct TopLevel {
    std::optional<QString> type;
    std::optional<QString> sessionId;
    std::optional<QString> timestamp;
    std::optional<QString> uuid;
    std::optional<QString> requestId;
    std::optional<AssistantMessage> message; // only when it is an object
    std::optional<QString> apiError;
    RateLimitInfo rateLimit; // from apiErrorParams, on a rejected request
};

TopLevel topLevel(sj::document &document)
{
    TopLevel members;
    for (auto field : document.get_object()) {
        const std::string_view key = field.unescaped_key();
        if (key == "type")
            members.type = JsonLine::string(field.value());
        else if (key == "sessionId")
            members.sessionId = JsonLine::string(field.value());
        else if (key == "timestamp")
            members.timestamp = JsonLine::string(field.value());
        else if (key == "uuid")
            members.uuid = JsonLine::string(field.value());
        else if (key == "requestId")
            members.requestId = JsonLine::string(field.value());
        else if (key == "apiError")
            members.apiError = JsonLine::string(field.value());
        else if (key == "apiErrorParams") {
            sj::value params = field.value();
            if (params.type() == sj::json_type::object)
                members.rateLimit = rateLimitInfo(params.get_object());
        } else if (key == "message") {
            sj::value message = field.value();
            if (message.type() == sj::json_type::object)
                members.message = assistantMessage(message.get_object());
        }
    }
    return members;
}

// A 429 on a plan limit: Claude Code writes a "<synthetic>" reply with the window that is full
// and its reset, the only utilization a transcript ever holds.
std::optional<PlanLimits> usageLimitReached(const TopLevel &members, const QDateTime &at)
{
    if (members.apiError != QLatin1String("usage_limit_reached"))
        return std::nullopt;
    PlanLimits limits;
    limits.limitId = QStringLiteral("claude");
    limits.channel = QStringLiteral("transcript");
    limits.reachedType = QStringLiteral("usage_limit_reached");
    limits.seenAt = at;
    if (members.rateLimit.resetsAt)
        limits.reachedUntil = QDateTime::fromSecsSinceEpoch(*members.rateLimit.resetsAt, Qt::UTC);
    if (members.rateLimit.type == QLatin1String("five_hour"))
        limits.primary = LimitWindow{100, fiveHourWindowMinutes, limits.reachedUntil};
    else if (members.rateLimit.type == QLatin1String("seven_day"))
        limits.secondary = LimitWindow{100, weeklyWindowMinutes, limits.reachedUntil};
    return limits;
}

template <typename Add>
void appendAssistantEvents(const AssistantMessage &message, const Add &add)
{
    if (message.model && !message.model->isEmpty() && *message.model != QLatin1String("<synthetic>"))
        add(ModelInfo{*message.model});
    if (message.usage)
        add(*message.usage);
    for (const QString &tool : message.tools)
        add(ToolCall{tool, std::nullopt});
}

ClaudeTranscriptLine parseLine(QByteArrayView text, const QString &fallbackSession, const QDateTime &now)
{
    ClaudeTranscriptLine line;
    sj::document document = JsonLine::parse(text);
    if (document.type() != sj::json_type::object)
        return line;
    // Most bytes of a transcript are in lines whose type does not matter; their values are skipped.
    const TopLevel members = topLevel(document);
    const bool isUser = members.type == QLatin1String("user");
    if (!isUser && members.type != QLatin1String("assistant"))
        return line;
    if (!isUser && !members.message)
        return line;

    const QString session = members.sessionId.value_or(fallbackSession);
    if (members.timestamp)
        line.stampedAt = QDateTime::fromString(*members.timestamp, Qt::ISODateWithMs);
    const QDateTime timestamp = line.stampedAt.isValid() ? line.stampedAt : now;
    line.uuid = members.uuid.value_or(QString());
    const auto add = [&](const AgentEventKind &kind) {
        line.events.append(AgentEvent::make(AgentSource::claudeCodeJsonl, session, kind, timestamp));
    };
    if (isUser) {
        add(TurnStarted{});
        return line;
    }
    appendAssistantEvents(*members.message, add);
    if (auto limits = usageLimitReached(members, timestamp))
        add(std::move(*limits));
    line.responseId = members.message->id;
    if (!line.responseId.isEmpty() && members.requestId && !members.requestId->isEmpty())
        line.responseId += QLatin1Char('\n') + *members.requestId;
    return line;
}

} // namespace

ClaudeTranscriptLine ClaudeTranscriptLine::parse(QByteArrayView text, const QString &fallbackSession,
                                                 const QDateTime &now)
{
    try {
        return parseLine(text, fallbackSession, now);
    } catch (const simdjson::simdjson_error &) {
        return {}; // not JSON, or cut short
    }
}
