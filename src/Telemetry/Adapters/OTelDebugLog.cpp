#include "Telemetry/Adapters/OTelDebugLog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <array>

namespace {

const QByteArray nonJsonNotice =
    "[non-json payload not logged; enable raw debug logging for sanitized JSON captures]\n";

std::optional<QString> utf8Text(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString textOrPlaceholder(const QByteArray &body)
{
    return utf8Text(body).value_or(QStringLiteral("[binary payload omitted]"));
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
    appendRawEntry(headerLine(contentType, body.size()) + sanitizedRawPayloadForDebugLog(body).toUtf8() + '\n');
}

void OTelDebugLog::appendRawNotice(const QString &contentType, qsizetype bodySize)
{
    appendRawEntry(headerLine(contentType, bodySize) + nonJsonNotice);
}

QByteArray OTelDebugLog::headerLine(const QString &contentType, qsizetype bodySize) const
{
    const QString stamp = m_clock.now().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // The content type comes from the peer: keep it on one line.
    QString type = contentType;
    type.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("--- %1 +0000 [%2] %3 bytes\n").arg(stamp, type).arg(bodySize).toUtf8();
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
    const bool created = !file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    if (created)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(entry);
}

QString OTelDebugLog::sanitizedRawPayloadForDebugLog(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return textOrPlaceholder(body);
    const QJsonValue sanitized = sanitizeJSON(document.isObject() ? QJsonValue(document.object())
                                                                  : QJsonValue(document.array()));
    // QJsonObject keeps its keys sorted, so the output is in key order.
    const QJsonDocument out = sanitized.isObject() ? QJsonDocument(sanitized.toObject())
                                                   : QJsonDocument(sanitized.toArray());
    return QString::fromUtf8(out.toJson(QJsonDocument::Indented));
}

QJsonValue OTelDebugLog::sanitizeJSON(const QJsonValue &value)
{
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            array[i] = sanitizeJSON(array.at(i));
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object = value.toObject();
    const QJsonValue key = object.value(QLatin1String("key"));
    if (key.isString() && object.value(QLatin1String("value")).isObject()
        && shouldRedactAttributeValue(key.toString())) {
        object.insert(QLatin1String("value"), QJsonObject{{QLatin1String("stringValue"), QLatin1String("[REDACTED]")}});
        return object;
    }
    for (auto it = object.begin(); it != object.end(); ++it)
        it.value() = sanitizeJSON(it.value());
    return object;
}

bool OTelDebugLog::shouldRedactAttributeValue(const QString &key)
{
    // Identity and prompt attributes, plus the ones Codex fills with streamed text and with a
    // tool's arguments and output, which must never be written anywhere.
    static const std::array<QLatin1String, 11> exact{
        QLatin1String("prompt"), QLatin1String("text"), QLatin1String("content"), QLatin1String("user.email"),
        QLatin1String("user.account_id"), QLatin1String("user.id"), QLatin1String("account_id"),
        QLatin1String("email"), QLatin1String("arguments"), QLatin1String("output"), QLatin1String("delta")};
    const QString lower = key.toLower();
    for (const QLatin1String &name : exact) {
        if (lower == name)
            return true;
    }
    return lower.contains(QLatin1String("email")) || lower.contains(QLatin1String("account"));
}
