#include "App/Core/ControlRequest.h"

#include "App/Core/SnapshotFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray ControlRequest::toLine() const
{
    if (command == Command::claudeStatus)
        return QJsonDocument(QJsonObject{{"command", "claudeStatus"}, {"report", report}}).toJson(QJsonDocument::Compact) + '\n';
    QJsonObject object{{"command", command == Command::raise ? "raise" : "snapshot"}};
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
    if (command == u"claudeStatus") {
        if (!object.value("report").isObject())
            return std::nullopt;
        return claudeStatus(object.value("report").toObject());
    }
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
