#include "Ads/MockAdServer.h"

#include "Ads/AdJson.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

MockAdServer::MockAdServer(std::optional<QString> campaignsPath) : m_path(std::move(campaignsPath))
{
    if (!m_path)
        return;
    if (const std::optional<QByteArray> bytes = AdJson::readAll(*m_path))
        m_campaigns = decodeCreativeList(*bytes).value_or(QList<AdCreative>{});
}

std::optional<AdCreative> MockAdServer::serveSync() const
{
    const AdCreative *best = nullptr;
    for (const AdCreative &campaign : m_campaigns) {
        if (campaign.remainingBudget > 0 && (!best || campaign.bidPer1000Imps > best->bidPer1000Imps))
            best = &campaign;
    }
    return best ? std::optional<AdCreative>(*best) : std::nullopt;
}

void MockAdServer::postEventsSync(const QList<AdEvent> &events)
{
    for (const AdEvent &event : events) {
        const auto campaign = std::find_if(m_campaigns.begin(), m_campaigns.end(),
                                           [&](const AdCreative &c) { return c.id == event.campaignId; });
        if (campaign == m_campaigns.end())
            continue;
        const double value = adEventValue(event.type, campaign->bidPer1000Imps);
        campaign->remainingBudget = std::max(campaign->remainingBudget - value, 0.0);
    }
    persist();
}

void MockAdServer::serve(ServeDone done)
{
    done(serveSync(), std::nullopt);
}

void MockAdServer::postEvents(const QList<AdEvent> &events, PostDone done)
{
    postEventsSync(events);
    done(std::nullopt);
}

QHash<QString, double> MockAdServer::bidLookup() const
{
    QHash<QString, double> bids;
    for (const AdCreative &campaign : m_campaigns)
        if (!bids.contains(campaign.id)) // a duplicated id keeps its first entry, as the budget update does
            bids.insert(campaign.id, campaign.bidPer1000Imps);
    return bids;
}

QHash<QString, bool> MockAdServer::paidLookup() const
{
    QHash<QString, bool> paid;
    for (const AdCreative &campaign : m_campaigns)
        if (!paid.contains(campaign.id))
            paid.insert(campaign.id, campaign.isPaid());
    return paid;
}

AdServerHealth MockAdServer::health() const
{
    AdServerHealth health = AdServerHealth::localMock();
    if (m_writeProblem)
        health.message = *m_writeProblem;
    return health;
}

void MockAdServer::persist()
{
    if (!m_path)
        return;
    QJsonArray array;
    for (const AdCreative &campaign : m_campaigns)
        array.append(campaign.toJson());
    m_writeProblem = AdJson::writeAtomically(*m_path, QJsonDocument(array).toJson(QJsonDocument::Indented));
}
