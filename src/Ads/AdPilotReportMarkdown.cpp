#include "Ads/AdJson.h"
#include "Ads/AdPilotReport.h"
#include "Telemetry/DisplayFormat.h"

namespace AdPilotReport {

namespace {

using DisplayFormat::duration;
using DisplayFormat::money;
using DisplayFormat::tokens;

QString row(const QStringList &cells)
{
    return QStringLiteral("| ") + cells.join(QStringLiteral(" | ")) + QStringLiteral(" |");
}

QString quoted(const QString &text)
{
    return u'`' + text + u'`';
}

QString date(const std::optional<QDateTime> &time)
{
    return time ? AdJson::isoSeconds(*time) : QStringLiteral("-");
}

void section(QStringList &lines, const char *title, const char *header, const char *rule)
{
    lines << QString() << QLatin1String(title) << QString() << QLatin1String(header) << QLatin1String(rule);
}

} // namespace

QString markdown(const Summary &s)
{
    QStringList lines{
        QStringLiteral("# Corvane Ad Pilot Report"),
        QString(),
        QStringLiteral("- Generated: ") + date(s.generatedAt),
        QStringLiteral("- Window: ") + date(s.since) + QStringLiteral(" to ") + date(s.until),
        QStringLiteral("- Ledger source: ") + quoted(s.ledgerSource),
        QStringLiteral("- Telemetry source: ") + quoted(s.telemetrySource),
    };
    section(lines, "## Executive Summary", "| Metric | Value |", "|---|---:|");
    lines << row({QStringLiteral("Rendered impressions"), QString::number(s.renderedImpressions)})
          << row({QStringLiteral("Billable 5s view ticks"), QString::number(s.billableViewTicks)})
          << row({QStringLiteral("Clicks"), QString::number(s.clicks)})
          << row({QStringLiteral("Gross sponsor spend"), money(s.grossSpend)})
          << row({QStringLiteral("Developer share"), money(s.developerShare)})
          << row({QStringLiteral("Company share"), money(s.companyShare)})
          << row({QStringLiteral("Queued remote events"), QString::number(s.queuedRemoteEvents)})
          << row({QStringLiteral("Excluded demo/mock events"), QString::number(s.excludedDemoEvents)})
          << row({QStringLiteral("Excluded demo/mock spend"), money(s.excludedDemoSpend)});

    section(lines, "## Campaigns",
            "| Campaign | Bid CPM | Renders | Ticks | Clicks | Spend | Dev Share | Company Share |",
            "|---|---:|---:|---:|---:|---:|---:|---:|");
    for (const CampaignSummary &c : s.campaigns) {
        QString name = c.name;
        name.replace(u'|', QStringLiteral("\\|"));
        lines << row({name + QStringLiteral(" (") + quoted(c.campaignId) + u')', money(c.bidPer1000Imps),
                      QString::number(c.renderedImpressions), QString::number(c.billableViewTicks),
                      QString::number(c.clicks), money(c.grossSpend), money(c.developerShare),
                      money(c.companyShare)});
    }
    if (s.campaigns.isEmpty())
        lines << QStringLiteral("| none | $0.00 | 0 | 0 | 0 | $0.000 | $0.000 | $0.000 |");

    section(lines, "## Agent Attention",
            "| Agent source | Sessions | Active turn time | Tokens | Cached | Tool calls | First activity | Last activity |",
            "|---|---:|---:|---:|---:|---:|---|---|");
    for (const TelemetrySummary &t : s.telemetry) {
        lines << row({quoted(t.source), QString::number(t.sessions), duration(t.activeTurnSeconds),
                      tokens(t.inputTokens + t.outputTokens), tokens(t.cachedTokens), QString::number(t.toolCalls),
                      date(t.firstActivity), date(t.lastActivity)});
    }
    if (s.telemetry.isEmpty())
        lines << QStringLiteral("| none | 0 | 0s | 0 | 0 | 0 | - | - |");

    section(lines, "## Spend By Agent Source", "| Agent source | Renders | Ticks | Clicks | Spend |",
            "|---|---:|---:|---:|---:|");
    for (const AgentSourceSummary &a : s.agentSources) {
        lines << row({quoted(a.agentSource), QString::number(a.renderedImpressions),
                      QString::number(a.billableViewTicks), QString::number(a.clicks), money(a.grossSpend)});
    }
    if (s.agentSources.isEmpty())
        lines << QStringLiteral("| none | 0 | 0 | 0 | $0.000 |");

    lines << QString() << QStringLiteral("## Privacy Boundary") << QString();
    for (const QString &statement : s.privacyBoundary)
        lines << QStringLiteral("- ") + statement;
    lines << QString() << QStringLiteral("## Caveats") << QString();
    for (const QString &caveat : s.caveats)
        lines << QStringLiteral("- ") + caveat;
    lines << QString() << QStringLiteral("## Advertiser-Ready Claim") << QString()
          << QStringLiteral("Corvane can report active agent attention, gated billable view ticks, clicks, spend, "
                            "developer share, company share, queued remote delivery, and zero content-bearing "
                            "telemetry from local metadata sources.")
          << QString();
    return lines.join(u'\n');
}

} // namespace AdPilotReport
