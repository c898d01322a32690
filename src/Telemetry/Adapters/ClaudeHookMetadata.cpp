#include "Telemetry/Adapters/ClaudeHookMetadata.h"

#include "Telemetry/Adapters/JsonMemberScanner.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <array>

namespace ClaudeHookMetadata {

namespace {

struct Kept {
    const char *key;
    QJsonValue::Type type;
};

// Every key here is metadata in every event that carries it (see the recorded schema).
constexpr std::array<Kept, 17> keptKeys{{
    {"hook_event_name", QJsonValue::String},
    {"session_id", QJsonValue::String},
    {"transcript_path", QJsonValue::String},
    {"tool_name", QJsonValue::String},
    {"tool_use_id", QJsonValue::String},
    {"permission_mode", QJsonValue::String},
    {"notification_type", QJsonValue::String},
    {"source", QJsonValue::String},
    {"reason", QJsonValue::String},
    {"trigger", QJsonValue::String},
    {"agent_id", QJsonValue::String},
    {"agent_type", QJsonValue::String},
    {"model", QJsonValue::String},
    {"to_model", QJsonValue::String},
    {"duration_ms", QJsonValue::Double},
    {"is_interrupt", QJsonValue::Bool},
    {"stop_hook_active", QJsonValue::Bool},
}};

bool acceptable(const QJsonValue &value, QJsonValue::Type type)
{
    if (value.type() != type)
        return false;
    return type != QJsonValue::String || value.toString().toUtf8().size() <= maxStringBytes;
}

bool complete(const QJsonObject &kept)
{
    return !kept.value("hook_event_name").toString().isEmpty() && !kept.value("session_id").toString().isEmpty();
}

// A scalar's raw text as a value; a nested value is never parsed.
QJsonValue scalar(QByteArrayView raw)
{
    if (raw.isEmpty() || raw.front() == '{' || raw.front() == '[')
        return {};
    if (raw.front() == '"') {
        const std::optional<QString> text = JsonMemberScanner::stringValue(raw);
        return text ? QJsonValue(*text) : QJsonValue();
    }
    QByteArray wrapped = "[" + raw.toByteArray() + "]";
    const QJsonDocument document = QJsonDocument::fromJson(wrapped);
    return document.isArray() ? document.array().at(0) : QJsonValue();
}

} // namespace

std::optional<QJsonObject> fromDocument(QByteArrayView document)
{
    // One pass over the members: a tool output of megabytes is skipped, never decoded.
    const auto members = JsonMemberScanner::scan(document.trimmed());
    if (!members)
        return std::nullopt;
    QJsonObject kept;
    for (const Kept &wanted : keptKeys) {
        const std::optional<QByteArrayView> raw = JsonMemberScanner::find(*members, wanted.key);
        if (!raw || raw->size() > maxStringBytes + 2)
            continue;
        const QJsonValue value = scalar(*raw);
        if (acceptable(value, wanted.type))
            kept.insert(QLatin1String(wanted.key), value);
    }
    return complete(kept) ? std::optional(kept) : std::nullopt;
}

std::optional<QJsonObject> filtered(const QJsonObject &object)
{
    QJsonObject kept;
    for (const Kept &wanted : keptKeys) {
        const QJsonValue value = object.value(QLatin1String(wanted.key));
        if (acceptable(value, wanted.type))
            kept.insert(QLatin1String(wanted.key), value);
    }
    return complete(kept) ? std::optional(kept) : std::nullopt;
}

} // namespace ClaudeHookMetadata
