#include "Telemetry/Adapters/CodexRolloutLimits.h"

#include <simdjson.h>

#include <string_view>

using namespace simdjson;

namespace {

// One per thread: a parser keeps its buffers between lines.
ondemand::parser &threadParser()
{
    thread_local ondemand::parser parser;
    return parser;
}

std::string_view text(ondemand::value value)
{
    std::string_view result;
    return value.get_string().get(result) == SUCCESS ? result : std::string_view();
}

std::optional<QString> optionalText(ondemand::object &object, const char *key)
{
    ondemand::value value;
    std::string_view result;
    if (object.find_field_unordered(key).get(value) != SUCCESS || value.get_string().get(result) != SUCCESS)
        return std::nullopt;
    return QString::fromUtf8(result.data(), static_cast<qsizetype>(result.size()));
}

std::optional<qint64> optionalInteger(ondemand::object &object, const char *key)
{
    ondemand::value value;
    if (object.find_field_unordered(key).get(value) != SUCCESS)
        return std::nullopt;
    int64_t integer = 0;
    if (value.get_int64().get(integer) == SUCCESS)
        return integer;
    double number = 0;
    if (value.get_double().get(number) == SUCCESS && number >= -9.2e18 && number <= 9.2e18)
        return static_cast<qint64>(number);
    return std::nullopt;
}

std::optional<LimitWindow> window(ondemand::object &limits, const char *key)
{
    ondemand::object object;
    if (limits.find_field_unordered(key).get_object().get(object) != SUCCESS)
        return std::nullopt; // null or absent: keep the last known values
    double used = 0;
    if (object.find_field_unordered("used_percent").get_double().get(used) != SUCCESS)
        return std::nullopt;
    LimitWindow result{used, optionalInteger(object, "window_minutes"), std::nullopt};
    if (const auto resetsAt = optionalInteger(object, "resets_at"))
        result.resetsAt = QDateTime::fromSecsSinceEpoch(*resetsAt, Qt::UTC);
    return result;
}

std::optional<LimitCredits> credits(ondemand::object &limits)
{
    ondemand::object object;
    if (limits.find_field_unordered("credits").get_object().get(object) != SUCCESS)
        return std::nullopt;
    bool has = false;
    bool unlimited = false;
    if (object.find_field_unordered("has_credits").get_bool().get(has) != SUCCESS
        || object.find_field_unordered("unlimited").get_bool().get(unlimited) != SUCCESS)
        return std::nullopt;
    return LimitCredits{has, unlimited, optionalText(object, "balance")};
}

QDateTime lineTime(ondemand::object &line, const QDateTime &now)
{
    const auto stamp = optionalText(line, "timestamp");
    const QDateTime at = stamp ? QDateTime::fromString(*stamp, Qt::ISODateWithMs) : QDateTime();
    return at.isValid() ? at.toUTC() : now;
}

// The event payload of an "event_msg" line whose payload type is `type`.
bool eventPayload(ondemand::document &document, std::string_view type, ondemand::object &payload)
{
    ondemand::object line;
    if (document.get_object().get(line) != SUCCESS)
        return false;
    ondemand::value value;
    if (line.find_field_unordered("type").get(value) != SUCCESS || text(value) != "event_msg")
        return false;
    if (line.find_field_unordered("payload").get_object().get(payload) != SUCCESS)
        return false;
    return payload.find_field_unordered("type").get(value) == SUCCESS && text(value) == type;
}

} // namespace

namespace CodexRolloutLimits {

std::optional<PlanLimits> rateLimits(QByteArrayView line, const QDateTime &now)
{
    if (!line.contains(QByteArrayView("\"rate_limits\"")))
        return std::nullopt;
    ondemand::parser &parser = threadParser();
    const padded_string json(line.data(), static_cast<size_t>(line.size()));
    ondemand::document document;
    if (parser.iterate(json).get(document) != SUCCESS)
        return std::nullopt;
    ondemand::object object;
    if (document.get_object().get(object) != SUCCESS)
        return std::nullopt;
    const QDateTime seenAt = lineTime(object, now);
    document.rewind();
    ondemand::object payload;
    ondemand::object limits;
    if (!eventPayload(document, "token_count", payload)
        || payload.find_field_unordered("rate_limits").get_object().get(limits) != SUCCESS)
        return std::nullopt;
    PlanLimits result;
    result.channel = QStringLiteral("rollout");
    result.seenAt = seenAt;
    result.limitId = optionalText(limits, "limit_id").value_or(QStringLiteral("codex"));
    result.limitName = optionalText(limits, "limit_name");
    result.primary = window(limits, "primary");
    result.secondary = window(limits, "secondary");
    result.credits = credits(limits);
    result.reachedType = optionalText(limits, "rate_limit_reached_type");
    return result;
}

bool endsOnUsageLimit(QByteArrayView line)
{
    if (!line.contains(QByteArrayView("usage_limit_exceeded")))
        return false;
    ondemand::parser &parser = threadParser();
    const padded_string json(line.data(), static_cast<size_t>(line.size()));
    ondemand::document document;
    ondemand::object payload;
    ondemand::object error;
    if (parser.iterate(json).get(document) != SUCCESS || !eventPayload(document, "task_complete", payload)
        || payload.find_field_unordered("error").get_object().get(error) != SUCCESS)
        return false;
    return optionalText(error, "codex_error_info") == QStringLiteral("usage_limit_exceeded");
}

} // namespace CodexRolloutLimits

bool RepeatedTokenInfo::repeats(QByteArrayView line)
{
    if (!line.contains(QByteArrayView("token_count")))
        return false;
    ondemand::parser &parser = threadParser();
    const padded_string json(line.data(), static_cast<size_t>(line.size()));
    ondemand::document document;
    ondemand::object payload;
    ondemand::object info;
    std::string_view raw;
    if (parser.iterate(json).get(document) != SUCCESS || !eventPayload(document, "token_count", payload)
        || payload.find_field_unordered("info").get_object().get(info) != SUCCESS || info.raw_json().get(raw) != SUCCESS)
        return false;
    QByteArray current(raw.data(), static_cast<qsizetype>(raw.size()));
    const bool same = m_previous == current;
    m_previous = std::move(current);
    return same;
}
