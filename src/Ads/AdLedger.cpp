#include "Ads/AdLedger.h"

#include "Ads/AdJson.h"
#include "Ads/AdMonth.h"

AdLedger::AdLedger(QString path) : m_path(std::move(path))
{
    for (const AdEvent &event : loadEvents())
        m_seenEventIds.insert(event.eventId);
}

QList<AdEvent> AdLedger::loadEvents() const
{
    QList<AdEvent> events;
    const std::optional<QByteArray> bytes = AdJson::readAll(m_path);
    if (!bytes)
        return events;
    for (const QByteArray &line : AdJson::lines(*bytes)) {
        if (std::optional<AdEvent> event = AdEvent::fromLine(line))
            events.append(std::move(*event));
    }
    return events;
}

void AdLedger::append(const AdEvent &event)
{
    if (m_seenEventIds.contains(event.eventId))
        return;
    // Marked before writing, so a failed write is not retried by a later append of the same id.
    m_seenEventIds.insert(event.eventId);
    AdJson::append(m_path, AdJson::jsonLine(event.toJson()));
}

double AdLedger::spend(const QDateTime &month, const QHash<QString, double> &bidFor,
                       const std::function<bool(const QString &)> &includeCampaign, const QTimeZone &zone) const
{
    double total = 0;
    for (const AdEvent &event : loadEvents()) {
        if (!sameCalendarMonth(event.timestamp, month, zone))
            continue;
        if (includeCampaign && !includeCampaign(event.campaignId))
            continue;
        const auto bid = bidFor.constFind(event.campaignId);
        if (bid != bidFor.constEnd())
            total += adEventValue(event.type, *bid);
    }
    return total;
}
