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
    m_seenEventIds.insert(event.eventId);
    // Events a failed write left behind go first, so the file keeps the order they happened in.
    if (m_unwritten.size() < maxUnwrittenEvents)
        m_unwritten.append(event);
    QByteArray lines;
    for (const AdEvent &pending : std::as_const(m_unwritten))
        lines += AdJson::jsonLine(pending.toJson());
    m_writeProblem = AdJson::append(m_path, lines);
    if (!m_writeProblem)
        m_unwritten.clear();
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
