#include "Telemetry/Adapters/OTelDebugLog.h"

#include "Platform/Files/CheckedWrite.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>


namespace {

const QByteArray nonJsonNotice =
    "[non-json payload not logged; enable raw debug logging for sanitized JSON captures]\n";

QString redacted() { return QStringLiteral("[REDACTED]"); }

// The peer's content type, kept on one line.
QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// Fields of the OTLP envelope whose texts are ids, times, levels and names of the SDK.
bool isStructuralText(QStringView member)
{
    static const QSet<QString> fields{"timeUnixNano", "observedTimeUnixNano", "startTimeUnixNano", "severityText",
                                      "traceId", "spanId", "schemaUrl", "eventName", "scope.name", "scope.version"};
    return fields.contains(member.toString());
}

// {"boolValue": …}, {"intValue": "42"} or {"doubleValue": …}: a value that cannot carry text.
bool isScalarValue(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.size() != 1)
        return false;
    const QJsonValue inner = object.begin().value();
    const QString kind = object.begin().key();
    if (kind == QLatin1String("boolValue"))
        return inner.isBool();
    if (kind == QLatin1String("doubleValue"))
        return inner.isDouble();
    if (kind == QLatin1String("intValue")) {
        bool digits = false;
        inner.toString().toLongLong(&digits);
        return inner.isDouble() || digits;
    }
    return false;
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

QJsonValue OTelDebugLog::sanitizeJSON(const QJsonValue &value, QStringView member)
{
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            array[i] = sanitizeJSON(array.at(i), member);
        return array;
    }
    if (value.isString())
        return isStructuralText(member) ? value : redacted();
    if (!value.isObject())
        return value; // numbers, booleans and null carry no text
    QJsonObject object = value.toObject();
    const QJsonValue key = object.value(QLatin1String("key"));
    if (key.isString() && object.contains(QLatin1String("value"))) {
        const QJsonValue attribute = object.value(QLatin1String("value"));
        if (!isKnownMetadataKey(key.toString()) && !isScalarValue(attribute))
            object.insert(QLatin1String("value"), QJsonObject{{QLatin1String("stringValue"), redacted()}});
        return object;
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("body") && !it.value().isNull())
            it.value() = QJsonObject{{QLatin1String("stringValue"), redacted()}}; // a log record's free text
        else
            it.value() = sanitizeJSON(it.value(), member == QLatin1String("scope") ? QStringLiteral("scope.") + it.key()
                                                                                 : it.key());
    }
    return object;
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
