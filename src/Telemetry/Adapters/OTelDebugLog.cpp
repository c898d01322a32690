#include "Telemetry/Adapters/OTelDebugLog.h"

#include "Platform/Files/CheckedWrite.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <optional>
#include <span>

namespace {

const QByteArray nonJsonNotice =
    "[non-json payload not logged; enable raw debug logging for sanitized JSON captures]\n";

QString redacted() { return QStringLiteral("[REDACTED]"); }

// A member whose name is not OTLP's own; numbered so that an object's redacted members stay apart.
QString redactedMemberName(qsizetype number) { return QStringLiteral("[REDACTED member %1]").arg(number); }

// The peer's content type, kept on one line.
QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// What is left of a value outside the OTLP fields: its shape, its numbers and booleans, no text.
QJsonValue redactShape(const QJsonValue &value)
{
    if (value.isString())
        return redacted();
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            array[i] = redactShape(array.at(i));
        return array;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        QJsonObject shape;
        qsizetype number = 0;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            shape.insert(redactedMemberName(++number), redactShape(it.value()));
        return shape;
    }
    return value; // numbers, booleans and null carry no text
}

QJsonValue keptIf(bool keep, const QJsonValue &value) { return keep ? value : redactShape(value); }

bool allCharacters(QStringView text, bool (*accepted)(QChar))
{
    return std::all_of(text.begin(), text.end(), accepted);
}

// A number, or the decimal string OTLP uses for 64-bit integers.
bool isInteger(const QJsonValue &value)
{
    if (value.isDouble())
        return true;
    const QString text = value.toString();
    const QStringView digits = text.startsWith(QLatin1Char('-')) ? QStringView(text).mid(1) : QStringView(text);
    return !digits.isEmpty() && allCharacters(digits, [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QJsonValue integer(const QJsonValue &value) { return keptIf(isInteger(value), value); }

// Trace and span ids are hex strings, empty when absent.
QJsonValue hexId(const QJsonValue &value)
{
    const auto isHexDigit = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    return keptIf(value.isString() && allCharacters(value.toString(), isHexDigit), value);
}

// Levels, schema URLs, event names and the SDK's scope names.
QJsonValue name(const QJsonValue &value) { return keptIf(value.isString(), value); }

using Sanitizer = QJsonValue (*)(const QJsonValue &);

template <Sanitizer element>
QJsonValue repeated(const QJsonValue &value)
{
    if (!value.isArray())
        return redactShape(value);
    QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i)
        array[i] = element(array.at(i));
    return array;
}

// Sanitizes the members `known` accepts (it returns nothing for the others); the others lose
// their names and keep only the shape of their values.
template <typename Known>
QJsonValue sanitizeObject(const QJsonValue &value, Known known)
{
    if (!value.isObject())
        return redactShape(value);
    const QJsonObject object = value.toObject();
    QJsonObject sanitized;
    qsizetype unknown = 0;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (const std::optional<QJsonValue> member = known(it.key(), it.value()))
            sanitized.insert(it.key(), *member);
        else
            sanitized.insert(redactedMemberName(++unknown), redactShape(it.value()));
    }
    return sanitized;
}

struct Member {
    QStringView name;
    Sanitizer sanitize;
};

// An OTLP message: each field by its own rule.
QJsonValue sanitizeMessage(const QJsonValue &value, std::span<const Member> fields)
{
    return sanitizeObject(value, [fields](QStringView member, const QJsonValue &inner) -> std::optional<QJsonValue> {
        for (const Member &field : fields) {
            if (field.name == member)
                return field.sanitize(inner);
        }
        return std::nullopt;
    });
}

QJsonValue redactedAttribute(const QJsonValue &value);

// An AnyValue with its texts gone and its kinds, lists and numbers left.
QJsonValue redactedAnyValue(const QJsonValue &value)
{
    static constexpr Member arrayFields[] = {{u"values", repeated<redactedAnyValue>}};
    static constexpr Member kvlistFields[] = {{u"values", repeated<redactedAttribute>}};
    static constexpr Member kinds[] = {
        {u"stringValue", redactShape},
        {u"boolValue", redactShape},
        {u"doubleValue", redactShape},
        {u"intValue", integer},
        {u"bytesValue", redactShape},
        {u"arrayValue", [](const QJsonValue &list) { return sanitizeMessage(list, arrayFields); }},
        {u"kvlistValue", [](const QJsonValue &list) { return sanitizeMessage(list, kvlistFields); }},
    };
    return sanitizeMessage(value, kinds);
}

QJsonValue redactedAttribute(const QJsonValue &value)
{
    static constexpr Member fields[] = {{u"key", redactShape}, {u"value", redactedAnyValue}};
    return sanitizeMessage(value, fields);
}

enum class Scalar { none, text, numberOrBool };

// The one scalar an AnyValue holds, if it holds one.
Scalar scalarIn(const QJsonValue &anyValue)
{
    const QJsonObject object = anyValue.toObject();
    if (object.size() != 1)
        return Scalar::none;
    const QString kind = object.constBegin().key();
    const QJsonValue inner = object.constBegin().value();
    if (kind == u"stringValue" && inner.isString())
        return Scalar::text;
    const bool numberOrBool = (kind == u"boolValue" && inner.isBool()) || (kind == u"doubleValue" && inner.isDouble())
        || (kind == u"intValue" && isInteger(inner));
    return numberOrBool ? Scalar::numberOrBool : Scalar::none;
}

bool isMetadataKey(const QJsonValue &key) { return key.isString() && OTelDebugLog::isKnownMetadataKey(key.toString()); }

QJsonValue attributeKey(const QJsonValue &key) { return keptIf(isMetadataKey(key), key); }

// A KeyValue: a known metadata key keeps its scalar; any key keeps a number or a boolean.
QJsonValue attribute(const QJsonValue &value)
{
    const bool metadata = isMetadataKey(value.toObject().value(QLatin1String("key")));
    return sanitizeObject(value, [metadata](QStringView member, const QJsonValue &inner) -> std::optional<QJsonValue> {
        if (member == u"key")
            return attributeKey(inner);
        if (member != u"value")
            return std::nullopt;
        const Scalar scalar = scalarIn(inner);
        const bool kept = scalar == Scalar::numberOrBool || (metadata && scalar == Scalar::text);
        return kept ? inner : redactedAnyValue(inner);
    });
}

QJsonValue entityRef(const QJsonValue &value)
{
    static constexpr Member fields[] = {
        {u"schemaUrl", name},
        {u"type", name},
        {u"idKeys", repeated<attributeKey>},
        {u"descriptionKeys", repeated<attributeKey>},
    };
    return sanitizeMessage(value, fields);
}

QJsonValue resource(const QJsonValue &value)
{
    static constexpr Member fields[] = {
        {u"attributes", repeated<attribute>},
        {u"droppedAttributesCount", integer},
        {u"entityRefs", repeated<entityRef>},
    };
    return sanitizeMessage(value, fields);
}

QJsonValue scope(const QJsonValue &value)
{
    static constexpr Member fields[] = {
        {u"name", name},
        {u"version", name},
        {u"attributes", repeated<attribute>},
        {u"droppedAttributesCount", integer},
    };
    return sanitizeMessage(value, fields);
}

QJsonValue logRecord(const QJsonValue &value)
{
    static constexpr Member fields[] = {
        {u"timeUnixNano", integer},
        {u"observedTimeUnixNano", integer},
        {u"severityNumber", integer},
        {u"severityText", name},
        {u"body", redactedAnyValue}, // the record's free text
        {u"attributes", repeated<attribute>},
        {u"droppedAttributesCount", integer},
        {u"flags", integer},
        {u"traceId", hexId},
        {u"spanId", hexId},
        {u"eventName", name},
    };
    return sanitizeMessage(value, fields);
}

QJsonValue scopeLogs(const QJsonValue &value)
{
    static constexpr Member fields[] = {
        {u"scope", scope},
        {u"logRecords", repeated<logRecord>},
        {u"schemaUrl", name},
    };
    return sanitizeMessage(value, fields);
}

QJsonValue resourceLogs(const QJsonValue &value)
{
    static constexpr Member fields[] = {
        {u"resource", resource},
        {u"scopeLogs", repeated<scopeLogs>},
        {u"schemaUrl", name},
    };
    return sanitizeMessage(value, fields);
}

} // namespace

OTelDebugLog::OTelDebugLog(QString path, qint64 maxBytes, Clock &clock)
    : m_path(std::move(path))
    , m_maxBytes(maxBytes)
    , m_clock(clock)
{
}

void OTelDebugLog::appendRawLog(const QByteArray &body, const QString &contentType)
{
    appendRawEntry(headerLine(contentType, body.size()) + sanitizedRawPayloadForDebugLog(body, contentType).toUtf8()
                   + '\n');
}

void OTelDebugLog::appendRawNotice(const QString &contentType, qsizetype bodySize)
{
    appendRawEntry(headerLine(contentType, bodySize) + nonJsonNotice);
}

QByteArray OTelDebugLog::headerLine(const QString &contentType, qsizetype bodySize) const
{
    const QString stamp = m_clock.now().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return QStringLiteral("--- %1 +0000 [%2] %3 bytes\n").arg(stamp, oneLine(contentType)).arg(bodySize).toUtf8();
}

void OTelDebugLog::appendRawEntry(const QByteArray &entry)
{
    QFile file(m_path);
    if (file.exists() && file.size() > 0 && file.size() + entry.size() > m_maxBytes) {
        const QString rotated = m_path + QStringLiteral(".1");
        QFile::remove(rotated);
        QFile::rename(m_path, rotated);
    }
    // Errors are ignored: logging never affects the HTTP exchange.
    [[maybe_unused]] const auto ignored = CheckedWrite::appendLines(m_path, entry);
}

QString OTelDebugLog::sanitizedRawPayloadForDebugLog(const QByteArray &body, const QString &contentType)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    // A body that is not JSON may be anything, a prompt included: only its size and type are told.
    if (error.error != QJsonParseError::NoError || document.isNull())
        return QStringLiteral("[unparsable payload not logged: %1 bytes, %2]").arg(body.size()).arg(oneLine(contentType));
    const QJsonValue sanitized =
        sanitizeJSON(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()));
    // QJsonObject keeps its keys sorted, so the output is in key order.
    const QJsonDocument out = sanitized.isObject() ? QJsonDocument(sanitized.toObject())
                                                   : QJsonDocument(sanitized.toArray());
    return QString::fromUtf8(out.toJson(QJsonDocument::Indented));
}

QJsonValue OTelDebugLog::sanitizeJSON(const QJsonValue &body)
{
    static constexpr Member fields[] = {{u"resourceLogs", repeated<resourceLogs>}};
    return sanitizeMessage(body, fields);
}

bool OTelDebugLog::isKnownMetadataKey(const QString &key)
{
    // What Codex sends that names, counts or times things; anything else (prompts, messages,
    // commands, arguments, output, paths, host names, accounts) is redacted.
    static const QSet<QString> metadata{
        "app.version", "approval_policy", "attempt", "cache_write_token_count", "cached_token_count", "call_id",
        "conversation.id", "decision", "duration_ms", "endpoint", "env", "event.kind", "event.name",
        "event.timestamp", "http.response.status_code", "input_token_count", "model", "model_reasoning_effort",
        "originator", "os.type", "os.version", "output_token_count", "output_truncated", "prompt_length",
        "provider_name", "reasoning_effort", "reasoning_summary", "reasoning_token_count", "sandbox_policy",
        "service.name", "service.version", "slug", "startup.phase", "startup.status", "success",
        "telemetry.sdk.language", "telemetry.sdk.name", "telemetry.sdk.version", "terminal.type", "tool_name",
        "tool_namespace", "tool_result_seq", "tool_token_count", "ttft_ms",
    };
    return metadata.contains(key);
}
