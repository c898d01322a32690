#include "Ads/AdPilotReport.h"

#include "Ads/AdJson.h"
#include "Ads/AdLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>

namespace AdPilotReport {

namespace {

constexpr double shareRate = 0.5;

void count(AdEventType type, qint64 &renders, qint64 &ticks, qint64 &clicks)
{
    switch (type) {
    case AdEventType::impressionRendered:
        ++renders;
        break;
    case AdEventType::viewTick:
        ++ticks;
        break;
    case AdEventType::click:
        ++clicks;
        break;
    }
}

template <typename Row>
void sortBySpend(QList<Row> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.grossSpend > b.grossSpend; });
}

QList<TelemetrySummary> telemetryRows(QList<TelemetrySummary> rows)
{
    rows.removeIf([](const TelemetrySummary &row) { return row.source == QLatin1String("mock"); });
    std::sort(rows.begin(), rows.end(),
              [](const TelemetrySummary &a, const TelemetrySummary &b) { return a.source < b.source; });
    return rows;
}

void write(const QString &path, const QByteArray &bytes)
{
    if (const std::optional<QString> error = AdJson::writeAtomically(path, bytes))
        throw ReportError(*error);
}

// Local time to the second, with C-locale digits whatever the user's locale.
QString fileStamp(const QDateTime &time, const QTimeZone &zone)
{
    return QLocale::c().toString(time.toTimeZone(zone), QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace

QStringList privacyBoundary()
{
    return {
        QStringLiteral("No prompts, code, AI responses, file paths, window titles, active URLs, or account identity "
                       "are read into this report."),
        QStringLiteral("Ad events include only event id, campaign id, event type, timestamp, surface, and coarse "
                       "agent source."),
        QStringLiteral("Telemetry summaries include counts/timing/tokens/tool-call counts only."),
        QStringLiteral("Queued remote events are counted, not expanded into content-bearing payloads."),
    };
}

QStringList caveats(qint64 unknownBidEvents, qint64 excludedDemoEvents)
{
    QStringList lines{
        QStringLiteral("Spend is estimated from local campaign bids and cached remote creatives; billing truth "
                       "remains the remote ad server once deployed."),
        QStringLiteral("Active turn time is derived from turn start/end metadata and may be conservative if an "
                       "adapter misses explicit end events."),
        QStringLiteral("This report is local proof for pilots; it is not a tax, accounting, or payment statement."),
    };
    if (excludedDemoEvents > 0)
        lines.append(QString::number(excludedDemoEvents)
                     + QStringLiteral(" mock/demo ad events were excluded from headline spend and share calculations."));
    if (unknownBidEvents > 0)
        lines.append(QString::number(unknownBidEvents)
                     + QStringLiteral(" ad events referenced campaigns without a known bid; those events are counted "
                                      "but valued at $0."));
    return lines;
}

QHash<QString, AdCreative> loadCreativeLookup(const QString &campaignsPath, const QString &remoteCreativeCachePath)
{
    QHash<QString, AdCreative> lookup;
    if (const auto bytes = AdJson::readAll(campaignsPath)) {
        for (const AdCreative &creative : decodeCreativeList(*bytes).value_or(QList<AdCreative>()))
            lookup.insert(creative.id, creative);
    }
    const QJsonDocument cache = QJsonDocument::fromJson(AdJson::readAll(remoteCreativeCachePath).value_or(QByteArray()));
    const QJsonObject entries = cache.object().value(QStringLiteral("creatives")).toObject();
    QList<AdCreative> cached;
    for (const QJsonValue &value : entries) {
        std::optional<AdCreative> creative = AdCreative::fromJson(value);
        if (!creative)
            return lookup; // a damaged cache is skipped whole
        cached.append(*creative);
    }
    for (const AdCreative &creative : cached)
        lookup.insert(creative.id, creative);
    return lookup;
}

Summary summarize(const QList<AdEvent> &events, const QHash<QString, AdCreative> &creativeLookup,
                  qint64 queuedRemoteEvents, const QDateTime &since, const QDateTime &until,
                  const QString &ledgerSource, const QString &telemetrySource, const QDateTime &generatedAt)
{
    Summary summary;
    summary.generatedAt = generatedAt;
    summary.since = since;
    summary.until = until;
    summary.ledgerSource = ledgerSource;
    summary.telemetrySource = telemetrySource;
    summary.queuedRemoteEvents = queuedRemoteEvents;
    qint64 unknownBids = 0;
    double gross = 0;
    for (const AdEvent &event : events) {
        const auto creative = creativeLookup.constFind(event.campaignId);
        const bool known = creative != creativeLookup.constEnd();
        const double bid = known ? creative->bidPer1000Imps : 0;
        const double value = adEventValue(event.type, bid);
        unknownBids += known ? 0 : 1;
        if (event.agentSource == QLatin1String("mock")) {
            ++summary.excludedDemoEvents;
            summary.excludedDemoSpend += value;
            continue;
        }
        count(event.type, summary.renderedImpressions, summary.billableViewTicks, summary.clicks);
        gross += value;

        auto campaign = std::find_if(summary.campaigns.begin(), summary.campaigns.end(),
                                     [&](const CampaignSummary &row) { return row.campaignId == event.campaignId; });
        if (campaign == summary.campaigns.end()) {
            summary.campaigns.append(
                CampaignSummary{event.campaignId, known ? creative->name : event.campaignId, bid});
            campaign = summary.campaigns.end() - 1;
        }
        count(event.type, campaign->renderedImpressions, campaign->billableViewTicks, campaign->clicks);
        campaign->grossSpend += value;
        campaign->developerShare = campaign->grossSpend * shareRate;
        campaign->companyShare = campaign->grossSpend - campaign->grossSpend * shareRate;

        auto source = std::find_if(summary.agentSources.begin(), summary.agentSources.end(),
                                   [&](const AgentSourceSummary &row) { return row.agentSource == event.agentSource; });
        if (source == summary.agentSources.end()) {
            summary.agentSources.append(AgentSourceSummary{event.agentSource});
            source = summary.agentSources.end() - 1;
        }
        count(event.type, source->renderedImpressions, source->billableViewTicks, source->clicks);
        source->grossSpend += value;
    }
    summary.grossSpend = gross;
    summary.developerShare = gross * shareRate;
    summary.companyShare = gross * shareRate;
    sortBySpend(summary.campaigns);
    sortBySpend(summary.agentSources);
    summary.privacyBoundary = privacyBoundary();
    summary.caveats = caveats(unknownBids, summary.excludedDemoEvents);
    return summary;
}

Result generate(const QDateTime &since, const QDateTime &until, const Files &files, const TelemetryReader &telemetry,
                const QDateTime &generatedAt, const QTimeZone &zone)
{
    if (!QDir().mkpath(files.outputDir))
        throw ReportError(QStringLiteral("cannot create the directory %1").arg(files.outputDir));

    QList<AdEvent> events = AdLedger(files.ledger).loadEvents();
    events.removeIf([&](const AdEvent &event) { return event.timestamp < since || event.timestamp > until; });
    Summary summary = summarize(events, loadCreativeLookup(files.campaigns, files.remoteCreativeCache),
                                AdJson::countLines(files.remoteQueue), since, until,
                                QFileInfo(files.ledger).fileName(), QFileInfo(files.eventsDatabase).fileName(),
                                generatedAt);
    if (telemetry) {
        if (std::optional<QList<TelemetrySummary>> rows = telemetry(since, until))
            summary.telemetry = telemetryRows(std::move(*rows));
    }

    const QString stem = QDir(files.outputDir).filePath(QStringLiteral("corvane-ad-pilot-")
                                                        + fileStamp(generatedAt, zone));
    Result result{stem + QStringLiteral(".md"), stem + QStringLiteral(".json"), summary};
    write(result.markdownPath, markdown(summary).toUtf8());
    try {
        write(result.jsonPath, QJsonDocument(summary.toJson()).toJson(QJsonDocument::Indented));
    } catch (const ReportError &) {
        QFile::remove(result.markdownPath); // a report is both files or none
        throw;
    }
    return result;
}

} // namespace AdPilotReport
