#include "Ads/AdCreative.h"

#include "Ads/AdJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

QJsonObject AdCreative::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("creativeText"), creativeText},
        {QStringLiteral("iconAsset"), iconAsset},
        {QStringLiteral("bidPer1000Imps"), bidPer1000Imps},
        {QStringLiteral("remainingBudget"), remainingBudget},
        {QStringLiteral("clickUrl"), clickUrl},
    };
    if (paid)
        object.insert(QStringLiteral("paid"), *paid);
    return object;
}

std::optional<AdCreative> AdCreative::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    AdCreative creative;
    const auto id = AdJson::text(object, "id");
    const auto name = AdJson::text(object, "name");
    const auto creativeText = AdJson::text(object, "creativeText");
    const auto iconAsset = AdJson::text(object, "iconAsset");
    const auto bid = AdJson::number(object, "bidPer1000Imps");
    const auto budget = AdJson::number(object, "remainingBudget");
    const auto clickUrl = AdJson::text(object, "clickUrl");
    if (!id || !name || !creativeText || !iconAsset || !bid || !budget || !clickUrl)
        return std::nullopt;
    const QJsonValue paid = object.value(QStringLiteral("paid"));
    if (paid.isBool())
        creative.paid = paid.toBool();
    else if (!paid.isUndefined() && !paid.isNull())
        return std::nullopt;
    creative.id = *id;
    creative.name = *name;
    creative.creativeText = *creativeText;
    creative.iconAsset = *iconAsset;
    creative.bidPer1000Imps = *bid;
    creative.remainingBudget = *budget;
    creative.clickUrl = *clickUrl;
    return creative;
}

std::optional<QList<AdCreative>> decodeCreativeList(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isArray())
        return std::nullopt;
    QList<AdCreative> creatives;
    for (const QJsonValue &value : document.array()) {
        std::optional<AdCreative> creative = AdCreative::fromJson(value);
        if (!creative)
            return std::nullopt; // one bad entry spoils the whole list, like a strict decoder
        creatives.append(*creative);
    }
    return creatives;
}
