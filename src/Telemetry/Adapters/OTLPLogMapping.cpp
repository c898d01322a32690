#include "Telemetry/Adapters/OTLPLogMapping.h"

#include "Telemetry/Adapters/DecimalReading.h"
#include "Telemetry/SaturatingMath.h"

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace OTLPLogMapping {

namespace {

namespace sj = simdjson::ondemand;

// An attribute's value as the readers take it. Text is a view into the parser's buffers, valid
// until the next body is parsed: nothing is converted unless an event needs it.
struct Scalar {
    enum class Kind { text, integer, real, other };
    Kind kind = Kind::other;
    std::string_view text;
    qint64 integer = 0;
    double real = 0;
};

// The attributes the mapping reads, by slot; the rest are skipped unconverted.
enum Attribute : std::size_t {
    conversationId, model, eventName, eventKind, inputTokens, outputTokens, reasoningTokens, cachedTokens,
    toolName, tool, durationMs, attributeCount
};
constexpr std::array<std::string_view, attributeCount> attributeKeys{
    "conversation.id", "model", "event.name", "event.kind", "input_token_count", "output_token_count",
    "reasoning_token_count", "cached_token_count", "tool_name", "tool", "duration_ms"};

using Attributes = std::array<std::optional<Scalar>, attributeCount>;

std::optional<std::size_t> attributeSlot(std::string_view key)
{
    const auto found = std::find(attributeKeys.begin(), attributeKeys.end(), key);
    return found != attributeKeys.end() ? std::optional(std::size_t(found - attributeKeys.begin())) : std::nullopt;
}

const QString streamingText = QStringLiteral(u"Streaming\u2026");
const QString thinkingText = QStringLiteral(u"Thinking\u2026");

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

// Objects, arrays, booleans and null only mark the key as present.
Scalar scalar(sj::value value)
{
    switch (value.type()) {
    case sj::json_type::string:
        return {Scalar::Kind::text, value.get_string()};
    case sj::json_type::number:
        switch (value.get_number_type()) {
        case sj::number_type::signed_integer:
            return {Scalar::Kind::integer, {}, qint64(value.get_int64())};
        case sj::number_type::unsigned_integer:
            return {Scalar::Kind::real, {}, 0, double(value.get_uint64())};
        default:
            return {Scalar::Kind::real, {}, 0, double(value.get_double())};
        }
    default:
        return {};
    }
}

// The integer a count carries: a number as is, a fraction truncated toward zero, or a decimal
// string (OTLP sends "intValue" as text); none outside the signed 64-bit range.
std::optional<qint64> integer(const Scalar &value)
{
    switch (value.kind) {
    case Scalar::Kind::text:
        return DecimalReading::int64(QByteArrayView(value.text.data(), qsizetype(value.text.size())));
    case Scalar::Kind::integer:
        return value.integer;
    case Scalar::Kind::real: {
        const double truncated = std::trunc(value.real);
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (!(truncated >= -limit && truncated < limit))
            return std::nullopt;
        return static_cast<qint64>(truncated);
    }
    case Scalar::Kind::other:
        break;
    }
    return std::nullopt;
}

// The first of stringValue, intValue, doubleValue, boolValue that an OTLP AnyValue holds.
std::optional<Scalar> anyValue(sj::object value)
{
    constexpr std::array<std::string_view, 4> members{"stringValue", "intValue", "doubleValue", "boolValue"};
    std::array<std::optional<Scalar>, 4> found;
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

void addAttribute(Attributes &attributes, sj::object entry)
{
    std::optional<std::size_t> slot;
    std::optional<Scalar> value;
    bool valueIsObject = false;
    for (auto field : entry) {
        const std::string_view name = field.unescaped_key();
        if (name == "key") {
            sj::value member = field.value();
            slot = member.type() == sj::json_type::string ? attributeSlot(member.get_string()) : std::nullopt;
            // Most attributes are never read: once the key says so, its value is not looked at.
            if (!slot)
                return;
        } else if (name == "value") {
            sj::value member = field.value();
            valueIsObject = member.type() == sj::json_type::object;
            value = valueIsObject ? anyValue(member.get_object()) : std::nullopt;
        }
    }
    if (slot && valueIsObject)
        attributes[*slot] = value; // a later attribute replaces an earlier one; a valueless one removes it
}

std::string_view stringAttribute(const Attributes &attributes, Attribute key)
{
    const std::optional<Scalar> &value = attributes[key];
    return value && value->kind == Scalar::Kind::text ? value->text : std::string_view();
}

qint64 intAttribute(const Attributes &attributes, Attribute key)
{
    const std::optional<Scalar> &value = attributes[key];
    return value ? integer(*value).value_or(0) : 0;
}

std::optional<TokenUsage> tokenUsage(const Attributes &attributes)
{
    TokenUsage usage;
    usage.inputTokens = intAttribute(attributes, inputTokens);
    // Counts come from outside: their sums saturate rather than overflow.
    usage.outputTokens =
        saturatingAdd(intAttribute(attributes, outputTokens), intAttribute(attributes, reasoningTokens));
    const qint64 cached = intAttribute(attributes, cachedTokens);
    if (saturatingAdd(saturatingAdd(usage.inputTokens, usage.outputTokens), cached) <= 0)
        return std::nullopt;
    if (cached >= 1)
        usage.cachedTokens = cached;
    return usage;
}

ToolCall toolCall(const Attributes &attributes)
{
    ToolCall call;
    const auto isText = [&](Attribute key) { return attributes[key] && attributes[key]->kind == Scalar::Kind::text; };
    call.name = isText(toolName) ? text(attributes[toolName]->text)
        : isText(tool)           ? text(attributes[tool]->text)
                                 : QStringLiteral("tool");
    const qint64 duration = intAttribute(attributes, durationMs);
    if (duration >= 1)
        call.durationMs = duration;
    return call;
}

// The kinds one record gives beyond its model report; first matching row wins.
QList<AgentEventKind> recordKinds(const Attributes &attributes)
{
    const std::string_view name = stringAttribute(attributes, eventName);
    const std::string_view kind = stringAttribute(attributes, eventKind);
    if (name == "codex.user_prompt" || kind == "response.created" || kind == "response.in_progress")
        return {TurnStarted{}};
    if (kind == "response.output_text.delta")
        return {StateText{streamingText}};
    if (kind == "response.output_item.added" || kind == "response.content_part.added")
        return {StateText{thinkingText}};
    if (kind == "response.completed") {
        if (const std::optional<TokenUsage> usage = tokenUsage(attributes))
            return {*usage, TurnEnded{}};
        return {TurnEnded{}};
    }
    if (name.find("approval") != std::string_view::npos || kind.find("approval") != std::string_view::npos)
        return {ApprovalRequested{}};
    // Codex reports a finished tool run as "codex.tool_result"; the "function_call" kinds are
    // streamed fragments of the same call's arguments and must not count as calls of their own.
    if (name == "codex.tool_call" || name == "codex.tool_result")
        return {toolCall(attributes)};
    return {};
}

std::optional<QDateTime> dateOfNanoseconds(std::optional<double> nanoseconds)
{
    if (!nanoseconds || !std::isfinite(*nanoseconds) || *nanoseconds <= 0)
        return std::nullopt;
    const double milliseconds = std::floor(*nanoseconds / 1e6);
    // Beyond what a date can hold (year 9999): treat as unreadable.
    if (milliseconds > 253402300799999.0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), Qt::UTC);
}

std::optional<QDateTime> nanoDate(const Scalar &value)
{
    switch (value.kind) {
    case Scalar::Kind::text:
        return dateOfNanoseconds(DecimalReading::real(QByteArrayView(value.text.data(), qsizetype(value.text.size()))));
    case Scalar::Kind::integer:
        return dateOfNanoseconds(double(value.integer));
    case Scalar::Kind::real:
        return dateOfNanoseconds(value.real);
    case Scalar::Kind::other:
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<QDateTime> nanoDate(const QJsonValue &value)
{
    if (value.isString())
        return dateOfNanoseconds(DecimalReading::real(value.toString().toLatin1()));
    if (value.isDouble())
        return dateOfNanoseconds(value.toDouble());
    return std::nullopt;
}

namespace {

struct Walk {
    const QDateTime &now;
    QList<AgentEvent> events;
    std::optional<std::string> lastModel;

    void record(sj::object record)
    {
        Attributes attributes;
        std::optional<Scalar> time;
        std::optional<Scalar> observed;
        for (auto field : record) {
            const std::string_view key = field.unescaped_key();
            if (key == "attributes") {
                Attributes found;
                const bool readable = eachObject(field.value(), [&](sj::object entry) { addAttribute(found, entry); });
                attributes = readable ? found : Attributes();
            } else if (key == "timeUnixNano") {
                time = scalar(field.value());
            } else if (key == "observedTimeUnixNano") {
                observed = scalar(field.value());
            }
        }
        const std::optional<Scalar> &stamp = time ? time : observed;
        const QDateTime at = (stamp ? nanoDate(*stamp) : std::nullopt).value_or(now);
        std::optional<QString> session;
        const auto sessionId = [&] {
            if (!session) {
                const bool named = attributes[conversationId] && attributes[conversationId]->kind == Scalar::Kind::text;
                session = named ? text(attributes[conversationId]->text) : QStringLiteral("codex");
            }
            return *session;
        };
        const std::string_view modelName = stringAttribute(attributes, model);
        if (!modelName.empty() && lastModel != modelName) {
            events.append(AgentEvent::make(AgentSource::codexOtel, sessionId(), ModelInfo{text(modelName)}, at));
            lastModel = std::string(modelName);
        }
        for (AgentEventKind &kind : recordKinds(attributes))
            events.append(AgentEvent::make(AgentSource::codexOtel, sessionId(), std::move(kind), at));
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
            const std::optional<std::string> modelBefore = lastModel;
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
