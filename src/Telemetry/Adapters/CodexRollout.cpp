#include "Telemetry/Adapters/CodexRollout.h"

#include "Telemetry/Adapters/JsonInteger.h"
#include "Telemetry/SaturatingMath.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

std::optional<QJsonObject> objectLine(QByteArrayView line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray());
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

QString CodexSessionSnapshot::fingerprint() const
{
    return QStringList{sessionId,
                       QString::number(sessionTokens),
                       QString::number(contextTokens),
                       QString::number(inputTokens),
                       QString::number(outputTokens),
                       QString::number(cachedTokens)}
        .join(QLatin1Char(':'));
}

namespace CodexRollout {

std::optional<CodexSessionSnapshot> snapshot(QByteArrayView line, const QString &sessionId, const QDateTime &now)
{
    // Most lines are messages and reasoning; only a line naming token_count can be one.
    if (!line.contains(QByteArrayView("token_count")))
        return std::nullopt;
    const auto object = objectLine(line);
    if (!object || object->value(QLatin1String("type")).toString() != QLatin1String("event_msg"))
        return std::nullopt;
    const QJsonValue payload = object->value(QLatin1String("payload"));
    if (!payload.isObject() || payload[QLatin1String("type")].toString() != QLatin1String("token_count"))
        return std::nullopt;
    const QJsonValue info = payload[QLatin1String("info")];
    const QJsonValue total = info[QLatin1String("total_token_usage")];
    const QJsonValue last = info[QLatin1String("last_token_usage")];
    if (!info.isObject() || !total.isObject() || !last.isObject())
        return std::nullopt;

    const auto of = [](const QJsonValue &usage, const char *key) { return jsonCount(usage[QLatin1String(key)]); };
    CodexSessionSnapshot result;
    result.sessionId = sessionId;
    const QJsonValue stamp = object->value(QLatin1String("timestamp"));
    result.timestamp = stamp.isString() ? QDateTime::fromString(stamp.toString(), Qt::ISODateWithMs) : QDateTime();
    if (!result.timestamp.isValid())
        result.timestamp = now;
    result.inputTokens = of(total, "input_tokens");
    // Counts come from outside: their sums saturate rather than overflow.
    result.outputTokens = saturatingAdd(of(total, "output_tokens"), of(total, "reasoning_output_tokens"));
    result.sessionTokens = saturatingAdd(result.inputTokens, result.outputTokens);
    result.cachedTokens = of(total, "cached_input_tokens");
    result.contextTokens = of(last, "total_tokens");
    result.contextInputTokens = of(last, "input_tokens");
    result.modelContextWindow = jsonCount(info[QLatin1String("model_context_window")]);
    return result;
}

std::optional<CodexSessionSnapshot> latestSnapshot(QByteArrayView chunk, const QString &sessionId, const QDateTime &now)
{
    qsizetype end = chunk.size();
    while (end > 0) {
        const qsizetype newline = chunk.lastIndexOf('\n', end - 1);
        const qsizetype start = newline + 1;
        if (end > start) {
            if (auto found = snapshot(chunk.sliced(start, end - start), sessionId, now))
                return found;
        }
        end = newline < 0 ? 0 : newline;
    }
    return std::nullopt;
}

std::optional<QString> sessionId(QByteArrayView line)
{
    if (!line.contains(QByteArrayView("session_meta")))
        return std::nullopt;
    const auto object = objectLine(line);
    if (!object || object->value(QLatin1String("type")).toString() != QLatin1String("session_meta"))
        return std::nullopt;
    const QJsonValue id = object->value(QLatin1String("payload"))[QLatin1String("id")];
    if (!id.isString() || id.toString().isEmpty())
        return std::nullopt;
    return id.toString();
}

std::optional<std::pair<QString, QDateTime>> turnModel(QByteArrayView line)
{
    if (!line.contains(QByteArrayView("turn_context")))
        return std::nullopt;
    const auto object = objectLine(line);
    if (!object || object->value(QLatin1String("type")).toString() != QLatin1String("turn_context"))
        return std::nullopt;
    const QJsonValue model = object->value(QLatin1String("payload"))[QLatin1String("model")];
    if (!model.isString() || model.toString().isEmpty())
        return std::nullopt;
    return std::pair{model.toString(),
                     QDateTime::fromString(object->value(QLatin1String("timestamp")).toString(), Qt::ISODateWithMs)};
}

std::optional<std::pair<bool, QDateTime>> turnEdge(QByteArrayView line)
{
    if (!line.contains(QByteArrayView("task_started")) && !line.contains(QByteArrayView("task_complete")))
        return std::nullopt;
    const auto object = objectLine(line);
    if (!object || object->value(QLatin1String("type")).toString() != QLatin1String("event_msg"))
        return std::nullopt;
    const QString type = object->value(QLatin1String("payload"))[QLatin1String("type")].toString();
    if (type != QLatin1String("task_started") && type != QLatin1String("task_complete"))
        return std::nullopt;
    const QDateTime stamp =
        QDateTime::fromString(object->value(QLatin1String("timestamp")).toString(), Qt::ISODateWithMs);
    if (!stamp.isValid())
        return std::nullopt;
    return std::pair{type == QLatin1String("task_started"), stamp};
}

std::optional<QString> threadId(const QString &filePath)
{
    static const QRegularExpression uuid(
        QStringLiteral("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"));
    const QRegularExpressionMatch match = uuid.match(QFileInfo(filePath).completeBaseName());
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured();
}

} // namespace CodexRollout
