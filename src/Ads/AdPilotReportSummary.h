#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The figures of one pilot report.
namespace AdPilotReport {

struct CampaignSummary {
    QString campaignId;
    QString name;
    double bidPer1000Imps = 0;
    qint64 renderedImpressions = 0;
    qint64 billableViewTicks = 0;
    qint64 clicks = 0;
    double grossSpend = 0;
    double developerShare = 0;
    double companyShare = 0;
    bool operator==(const CampaignSummary &) const = default;
};

struct AgentSourceSummary {
    QString agentSource;
    qint64 renderedImpressions = 0;
    qint64 billableViewTicks = 0;
    qint64 clicks = 0;
    double grossSpend = 0;
    bool operator==(const AgentSourceSummary &) const = default;
};

// One telemetry source's activity in the window, as the event store counts it.
struct TelemetrySummary {
    QString source; // raw text of an AgentSource
    qint64 sessions = 0;
    qint64 tokenRows = 0;
    qint64 toolCalls = 0;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cachedTokens = 0;
    double activeTurnSeconds = 0;
    std::optional<QDateTime> firstActivity;
    std::optional<QDateTime> lastActivity;
    bool operator==(const TelemetrySummary &) const = default;
};

struct Summary {
    QDateTime generatedAt;
    QDateTime since;
    QDateTime until;
    QString ledgerSource;
    QString telemetrySource;
    qint64 queuedRemoteEvents = 0;
    qint64 excludedDemoEvents = 0;
    double excludedDemoSpend = 0;
    qint64 renderedImpressions = 0;
    qint64 billableViewTicks = 0;
    qint64 clicks = 0;
    double grossSpend = 0;
    double developerShare = 0;
    double companyShare = 0;
    QList<CampaignSummary> campaigns;
    QList<AgentSourceSummary> agentSources;
    QList<TelemetrySummary> telemetry;
    QStringList privacyBoundary;
    QStringList caveats;
    bool operator==(const Summary &) const = default;

    // Every key present (keys sort themselves), times in whole-second UTC; a telemetry row
    // leaves out an absent first or last activity.
    QJsonObject toJson() const;
    static std::optional<Summary> fromJson(const QJsonObject &object);
};

} // namespace AdPilotReport
