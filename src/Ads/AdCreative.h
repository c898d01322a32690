#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// A sponsored line for the HUD and the campaign that pays for it.
struct AdCreative {
    QString id;
    QString name;
    QString creativeText;
    QString iconAsset;
    double bidPer1000Imps = 0;
    double remainingBudget = 0;
    QString clickUrl;
    std::optional<bool> paid; // absent and false both mean a demo or house campaign

    bool isPaid() const { return paid.value_or(false); }
    bool operator==(const AdCreative &) const = default;

    // "paid" is written only when present.
    QJsonObject toJson() const;
    // Every key but "paid" is required; a missing or null "paid" reads as absent.
    static std::optional<AdCreative> fromJson(const QJsonValue &value);
};

// A JSON array of creatives; nothing when the bytes are not one.
std::optional<QList<AdCreative>> decodeCreativeList(const QByteArray &bytes);
