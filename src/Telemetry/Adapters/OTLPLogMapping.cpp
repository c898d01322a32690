#include "Telemetry/Adapters/OTLPLogMapping.h"

#include "Telemetry/Adapters/DecimalReading.h"
#include "Telemetry/Adapters/JsonInteger.h"
#include "Telemetry/SaturatingMath.h"

#include <QHash>

#include <simdjson.h>

#include <algorithm>
#include <array>

#include <cmath>

namespace OTLPLogMapping {

namespace {

using AttributeMap = QHash<QString, QJsonValue>;

// The only attributes the mapping reads.
// The attributes the mapping reads; the rest are skipped unconverted.
constexpr std::array<std::string_view, 11> usedAttributes{
    "conversation.id", "model", "event.name", "event.kind", "input_token_count", "output_token_count",
    "reasoning_token_count", "cached_token_count", "tool_name", "tool", "duration_ms"};

bool isUsedAttribute(std::string_view key)
{
    return std::find(usedAttributes.begin(), usedAttributes.end(), key) != usedAttributes.end();
}

const QString streamingText = QStringLiteral(u"Streaming\u2026");
const QString thinkingText = QStringLiteral(u"Thinking\u2026");

namespace sj = simdjson::ondemand;

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

// A scalar as the attribute readers take it; objects, arrays and null only mark the key as present.
QJsonValue scalar(sj::value value)
{
    switch (value.type()) {
    case sj::json_type::string:
        return text(value.get_string());
    case sj::json_type::number:
        switch (value.get_number_type()) {
        case sj::number_type::signed_integer:
            return QJsonValue(qint64(value.get_int64()));
        case sj::number_type::unsigned_integer:
            return QJsonValue(double(value.get_uint64()));
        default:
            return QJsonValue(double(value.get_double()));
        }
    case sj::json_type::boolean:
        return QJsonValue(bool(value.get_bool()));
    case sj::json_type::null:
        return QJsonValue(QJsonValue::Null);
    default:
        return QJsonValue(QJsonValue::Object);
    }
}

// The first of stringValue, intValue, doubleValue, boolValue that an OTLP AnyValue holds.
std::optional<QJsonValue> anyValue(sj::object value)
{
    constexpr std::array<std::string_view, 4> members{"stringValue", "intValue", "doubleValue", "boolValue"};
    std::array<std::optional<QJsonValue>, 4> found;
    for (auto field : value) {
        const std::string_view key = field.unescaped_key();
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (key == members[i])
                found[i] = scalar(field.value());
        }
    }
    for (auto &value : found) {
        if (value)
            return value;
    }
    return std::nullopt;
}

// Visits each element of an array of objects; false (the walk's results to be dropped) when the
// value is no array or an element is no object.
template <typename Visit>
bool eachObject(sj::value value, Visit visit)
{
    if (value.type() != sj::json_type::array)
        return false;
    for (auto element : value.get_array()) {
        sj::value item = element.value();
        if (item.type() != sj::json_type::object)
            return false;
        visit(item.get_object());
    }
    return true;
}

void addAttribute(AttributeMap &map, sj::object entry)
{
    std::optional<std::string_view> key;
    std::optional<QJsonValue> value;
    bool valueIsObject = false;
    for (auto field : entry) {
        const std::string_view name = field.unescaped_key();
        if (name == "key") {
            sj::value member = field.value();
            key = member.type() == sj::json_type::string ? std::optional(std::string_view(member.get_string()))
                                                         : std::nullopt;
            // Most attributes are never read: once the key says so, neither it nor its value is
            // converted. (A key's view stays valid until the next parse.)
            if (!key || !isUsedAttribute(*key))
                return;
        } else if (name == "value") {
            sj::value member = field.value();
            valueIsObject = member.type() == sj::json_type::object;
            value = valueIsObject ? anyValue(member.get_object()) : std::nullopt;
        }
    }
    if (!key || !valueIsObject)
        return;
    if (value)
        map.insert(text(*key), *value);
    else
        map.remove(text(*key));
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

namespace {

struct Walk {
    const QDateTime &now;
    QList<AgentEvent> events;
    std::optional<QString> lastModel;

    void record(sj::object record)
    {
        AttributeMap map;
        std::optional<QJsonValue> time;
        std::optional<QJsonValue> observed;
        for (auto field : record) {
            const std::string_view key = field.unescaped_key();
            if (key == "attributes") {
                AttributeMap attributes;
                if (eachObject(field.value(), [&](sj::object entry) { addAttribute(attributes, entry); }))
                    map = std::move(attributes);
                else
                    map.clear();
            } else if (key == "timeUnixNano") {
                time = scalar(field.value());
            } else if (key == "observedTimeUnixNano") {
                observed = scalar(field.value());
            }
        }
        const QJsonValue conversation = map.value(QLatin1String("conversation.id"));
        const QString session = conversation.isString() ? conversation.toString() : QStringLiteral("codex");
        const QDateTime at = nanoDate(time ? *time : observed.value_or(QJsonValue())).value_or(now);
        const QString model = stringAttribute(map, "model");
        if (!model.isEmpty() && lastModel != model) {
            events.append(AgentEvent::make(AgentSource::codexOtel, session, ModelInfo{model}, at));
            lastModel = model;
        }
        for (AgentEventKind &kind : recordKinds(map))
            events.append(AgentEvent::make(AgentSource::codexOtel, session, std::move(kind), at));
    }

    // The members named `key` of an object, each an array of objects walked with visit; an array
    // with a stray element, or a member that is no array, adds nothing.
    template <typename Visit>
    void member(sj::object object, std::string_view key, Visit visit)
    {
        for (auto field : object) {
            if (field.unescaped_key() != key)
                continue;
            const qsizetype before = events.size();
            const std::optional<QString> modelBefore = lastModel;
            if (!eachObject(field.value(), visit)) {
                events.resize(before);
                lastModel = modelBefore;
            }
        }
    }
};

} // namespace

QList<AgentEvent> events(const QByteArray &body, const QDateTime &now)
{
    // One parser per thread: it keeps its buffers from one body to the next.
    thread_local sj::parser parser;
    const simdjson::padded_string padded(body.constData(), std::size_t(body.size()));
    Walk walk{now, {}, std::nullopt};
    try {
        sj::document document = parser.iterate(padded);
        if (document.type() != sj::json_type::object)
            return {};
        walk.member(document.get_object(), "resourceLogs", [&](sj::object resourceLog) {
            walk.member(resourceLog, "scopeLogs", [&](sj::object scopeLog) {
                walk.member(scopeLog, "logRecords", [&](sj::object record) { walk.record(record); });
            });
        });
    } catch (const simdjson::simdjson_error &) {
        return {}; // not JSON: no events, as for any unusable export
    }
    return walk.events;
}

} // namespace OTLPLogMapping
