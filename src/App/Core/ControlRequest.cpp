#include "App/Core/ControlRequest.h"

#include "App/Core/SnapshotFormat.h"
#include "Telemetry/Adapters/ClaudeHookMetadata.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *commandName(ControlRequest::Command command)
{
    switch (command) {
    case ControlRequest::Command::raise: return "raise";
    case ControlRequest::Command::snapshot: return "snapshot";
    case ControlRequest::Command::claudeHook: return "claudeHook";
    case ControlRequest::Command::claudeStatus: return "claudeStatus";
    case ControlRequest::Command::importHistory: return "importHistory";
    case ControlRequest::Command::importStatus: break;
    }
    return "importStatus";
}

} // namespace

QByteArray ControlRequest::toLine() const
{
    QJsonObject object{{"command", commandName(command)}};
    if (command == Command::claudeHook)
        object.insert("hook", hook);
    if (command == Command::claudeStatus)
        object.insert("report", report);
    if (command == Command::importHistory && days)
        object.insert("days", *days);
    if (command == Command::snapshot) {
        if (scope)
            object.insert("scope", SnapshotFormat::scopeName(*scope));
        object.insert("json", json);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<ControlRequest> ControlRequest::parse(QByteArrayView line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed().toByteArray());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QString command = object.value("command").toString();
    if (command == u"raise")
        return raise();
    if (command == u"claudeHook") {
        // Whoever sent it, only the metadata keys go further.
        std::optional<QJsonObject> metadata = ClaudeHookMetadata::filtered(object.value("hook").toObject());
        return metadata ? std::optional(claudeHook(std::move(*metadata))) : std::nullopt;
    }
    if (command == u"claudeStatus") {
        if (!object.value("report").isObject())
            return std::nullopt;
        return claudeStatus(object.value("report").toObject());
    }
    if (command == u"importHistory") {
        const QJsonValue days = object.value("days");
        if (days.isUndefined())
            return importHistory(std::nullopt);
        if (!days.isDouble() || days.toInteger(0) < 1)
            return std::nullopt;
        return importHistory(days.toInteger());
    }
    if (command == u"importStatus")
        return importStatus();
    if (command != u"snapshot")
        return std::nullopt;
    std::optional<MetricsScope> scope;
    if (object.contains("scope")) {
        scope = SnapshotFormat::scopeFromName(object.value("scope").toString());
        if (!scope)
            return std::nullopt;
    }
    return snapshot(scope, object.value("json").toBool(false));
}
