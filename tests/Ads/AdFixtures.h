#pragma once

#include "Ads/AdCreative.h"
#include "Ads/AdEvent.h"

#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>

namespace AdFixtures {

inline AdCreative creative(const QString &id, double bid, double budget = 100, std::optional<bool> paid = true)
{
    return AdCreative{id, id + QStringLiteral(" name"), id + QStringLiteral(" text"), QStringLiteral("bolt"),
                      bid, budget, QStringLiteral("https://example.com/") + id, paid};
}

// "c-top" (bid 18) before "c-low" (bid 5), both paid with budget 100.
inline QList<AdCreative> topAndLow()
{
    return {creative(QStringLiteral("c-top"), 18), creative(QStringLiteral("c-low"), 5)};
}

inline void writeCampaigns(const QString &path, const QList<AdCreative> &creatives)
{
    QJsonArray array;
    for (const AdCreative &c : creatives)
        array.append(c.toJson());
    TestSupport::writeFile(path, QJsonDocument(array).toJson());
}

inline AdEvent event(const QString &campaignId, AdEventType type, const QDateTime &at,
                     const QString &agentSource = QStringLiteral("codex"))
{
    return AdEvent::make(campaignId, type, at, agentSource);
}

inline QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate).toUTC();
}

} // namespace AdFixtures
