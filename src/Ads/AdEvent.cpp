#include "Ads/AdEvent.h"

#include "Ads/AdJson.h"
#include "Telemetry/EnumNames.h"

#include <QJsonDocument>

#include <array>

namespace {
constexpr std::array<const char *, 3> typeNames{"viewTick", "impressionRendered", "click"};
}

QString rawValue(AdEventType type)
{
    return enumName(typeNames, type);
}

std::optional<AdEventType> adEventTypeFromRaw(QStringView raw)
{
    return enumFromName<AdEventType>(typeNames, raw);
}

AdEvent AdEvent::make(QString campaignId, AdEventType type, QDateTime timestamp, QString agentSource)
{
    return AdEvent{QUuid::createUuid(), std::move(campaignId), type, std::move(timestamp), QStringLiteral("hud"),
                   std::move(agentSource)};
}

QJsonObject AdEvent::toJson() const
{
    return QJsonObject{
        {QStringLiteral("agentSource"), agentSource},
        {QStringLiteral("campaignId"), campaignId},
        {QStringLiteral("eventId"), eventId.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("surface"), surface},
        {QStringLiteral("timestamp"), AdJson::isoSeconds(timestamp)},
        {QStringLiteral("type"), rawValue(type)},
    };
}

std::optional<AdEvent> AdEvent::fromJson(const QJsonObject &object)
{
    const auto agentSource = AdJson::text(object, "agentSource");
    const auto campaignId = AdJson::text(object, "campaignId");
    const auto eventId = AdJson::text(object, "eventId");
    const auto surface = AdJson::text(object, "surface");
    const auto timestamp = AdJson::text(object, "timestamp");
    const auto type = AdJson::text(object, "type");
    if (!agentSource || !campaignId || !eventId || !surface || !timestamp || !type)
        return std::nullopt;
    const QUuid id = QUuid::fromString(*eventId);
    const std::optional<QDateTime> time = AdJson::parseIsoSeconds(*timestamp);
    const std::optional<AdEventType> eventType = adEventTypeFromRaw(*type);
    // Only the canonical 36-character form is an event id.
    if (id.isNull() || eventId->size() != 36 || !time || !eventType)
        return std::nullopt;
    return AdEvent{id, *campaignId, *eventType, *time, *surface, *agentSource};
}

std::optional<AdEvent> AdEvent::fromLine(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

double adEventValue(AdEventType type, double bidPer1000Imps)
{
    switch (type) {
    case AdEventType::viewTick:
        return bidPer1000Imps / 1000;
    case AdEventType::click:
        return (bidPer1000Imps / 1000) * 50;
    case AdEventType::impressionRendered:
        break;
    }
    return 0;
}
