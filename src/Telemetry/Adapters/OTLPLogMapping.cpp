#include "Telemetry/Adapters/OTLPLogMapping.h"

#include "Telemetry/Adapters/DecimalReading.h"
#include "Telemetry/Adapters/JsonInteger.h"
#include "Telemetry/SaturatingMath.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace OTLPLogMapping {

namespace {

using AttributeMap = QHash<QString, QJsonValue>;

// The only attributes the mapping reads.
const QSet<QString> usedAttributes{
    QStringLiteral("conversation.id"), QStringLiteral("model"), QStringLiteral("event.name"),
    QStringLiteral("event.kind"), QStringLiteral("input_token_count"), QStringLiteral("output_token_count"),
    QStringLiteral("reasoning_token_count"), QStringLiteral("cached_token_count"), QStringLiteral("tool_name"),
    QStringLiteral("tool"), QStringLiteral("duration_ms")};

const QString streamingText = QStringLiteral(u"Streaming\u2026");
const QString thinkingText = QStringLiteral(u"Thinking\u2026");

// Elements of an array of objects; a missing member or a stray non-object empties it.
QList<QJsonObject> objects(const QJsonValue &value)
{
    QList<QJsonObject> result;
    if (!value.isArray())
        return result;
    const QJsonArray array = value.toArray();
    result.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return {};
        result.append(element.toObject());
    }
    return result;
}

AttributeMap attributeMap(const QJsonObject &record)
{
    AttributeMap map;
    for (const QJsonObject &entry : objects(record.value(QLatin1String("attributes")))) {
        const QJsonValue key = entry.value(QLatin1String("key"));
        const QJsonValue value = entry.value(QLatin1String("value"));
        if (!key.isString() || !value.isObject())
            continue;
        if (!usedAttributes.contains(key.toString()))
            continue; // never read, so not kept
        const QJsonObject valueObject = value.toObject();
        bool found = false;
        for (const char *member : {"stringValue", "intValue", "doubleValue", "boolValue"}) {
            const auto it = valueObject.constFind(QLatin1String(member));
            if (it != valueObject.constEnd()) {
                map.insert(key.toString(), it.value());
                found = true;
                break;
            }
        }
        if (!found)
            map.remove(key.toString());
    }
    return map;
}

QString stringAttribute(const AttributeMap &map, const char *key)
{
    const QJsonValue value = map.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

qint64 intAttribute(const AttributeMap &map, const char *key)
{
    return jsonCount(map.value(QLatin1String(key)));
}

QDateTime recordTime(const QJsonObject &record, const QDateTime &now)
{
    const QLatin1String primary("timeUnixNano");
    const QJsonValue value = record.contains(primary) ? record.value(primary)
                                                      : record.value(QLatin1String("observedTimeUnixNano"));
    return nanoDate(value).value_or(now);
}

std::optional<TokenUsage> tokenUsage(const AttributeMap &map)
{
    TokenUsage usage;
    usage.inputTokens = intAttribute(map, "input_token_count");
    // Counts come from outside: their sums saturate rather than overflow.
    usage.outputTokens = saturatingAdd(intAttribute(map, "output_token_count"), intAttribute(map, "reasoning_token_count"));
    const qint64 cached = intAttribute(map, "cached_token_count");
    if (saturatingAdd(saturatingAdd(usage.inputTokens, usage.outputTokens), cached) <= 0)
        return std::nullopt;
    if (cached >= 1)
        usage.cachedTokens = cached;
    return usage;
}

ToolCall toolCall(const AttributeMap &map)
{
    ToolCall call;
    const QJsonValue toolName = map.value(QLatin1String("tool_name"));
    const QJsonValue tool = map.value(QLatin1String("tool"));
    call.name = toolName.isString() ? toolName.toString() : tool.isString() ? tool.toString() : QStringLiteral("tool");
    const qint64 duration = intAttribute(map, "duration_ms");
    if (duration >= 1)
        call.durationMs = duration;
    return call;
}

// The kinds one record gives beyond its model report; first matching row wins.
QList<AgentEventKind> recordKinds(const AttributeMap &map)
{
    const QString name = stringAttribute(map, "event.name");
    const QString kind = stringAttribute(map, "event.kind");
    if (name == u"codex.user_prompt" || kind == u"response.created" || kind == u"response.in_progress")
        return {TurnStarted{}};
    if (kind == u"response.output_text.delta")
        return {StateText{streamingText}};
    if (kind == u"response.output_item.added" || kind == u"response.content_part.added")
        return {StateText{thinkingText}};
    if (kind == u"response.completed") {
        if (const std::optional<TokenUsage> usage = tokenUsage(map))
            return {*usage, TurnEnded{}};
        return {TurnEnded{}};
    }
    if (name.contains(u"approval") || kind.contains(u"approval"))
        return {ApprovalRequested{}};
    // Codex reports a finished tool run as "codex.tool_result"; the "function_call" kinds are
    // streamed fragments of the same call's arguments and must not count as calls of their own.
    if (name == u"codex.tool_call" || name == u"codex.tool_result")
        return {toolCall(map)};
    return {};
}

} // namespace

std::optional<QDateTime> nanoDate(const QJsonValue &value)
{
    std::optional<double> nanoseconds;
    if (value.isString())
        nanoseconds = DecimalReading::real(value.toString().toLatin1());
    else if (value.isDouble())
        nanoseconds = value.toDouble();
    if (!nanoseconds || !std::isfinite(*nanoseconds) || *nanoseconds <= 0)
        return std::nullopt;
    const double milliseconds = std::floor(*nanoseconds / 1e6);
    // Beyond what a date can hold (year 9999): treat as unreadable.
    if (milliseconds > 253402300799999.0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), Qt::UTC);
}

QList<AgentEvent> events(const QByteArray &body, const QDateTime &now)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return {};
    QList<AgentEvent> result;
    std::optional<QString> lastModel;
    for (const QJsonObject &resourceLog : objects(document.object().value(QLatin1String("resourceLogs")))) {
        for (const QJsonObject &scopeLog : objects(resourceLog.value(QLatin1String("scopeLogs")))) {
            for (const QJsonObject &record : objects(scopeLog.value(QLatin1String("logRecords")))) {
                const AttributeMap map = attributeMap(record);
                const QJsonValue conversation = map.value(QLatin1String("conversation.id"));
                const QString session = conversation.isString() ? conversation.toString() : QStringLiteral("codex");
                const QDateTime time = recordTime(record, now);
                const QString model = stringAttribute(map, "model");
                if (!model.isEmpty() && lastModel != model) {
                    result.append(AgentEvent::make(AgentSource::codexOtel, session, ModelInfo{model}, time));
                    lastModel = model;
                }
                for (AgentEventKind &kind : recordKinds(map))
                    result.append(AgentEvent::make(AgentSource::codexOtel, session, std::move(kind), time));
            }
        }
    }
    return result;
}

} // namespace OTLPLogMapping
