#include "HUD/CompactBarContent.h"

#include "HUD/LimitsContent.h"
#include "Telemetry/DisplayFormat.h"

#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace {

const QString ellipsis = QStringLiteral("\u2026");

QString stateColor(AgentState state)
{
    switch (state) {
    case AgentState::working: return QStringLiteral("green");
    case AgentState::awaitingApproval: return QStringLiteral("orange");
    case AgentState::idle: break;
    }
    return QStringLiteral("gray");
}

QString stateHelpSuffix(AgentState state)
{
    switch (state) {
    case AgentState::working: return QStringLiteral(": time since the current agent turn started");
    case AgentState::awaitingApproval: return QStringLiteral(": the agent is waiting for your approval");
    case AgentState::idle: break;
    }
    return QStringLiteral(": no agent turn in flight");
}

QString scopeIcon(const DisplayMode &mode)
{
    switch (mode.kind) {
    case DisplayMode::Kind::aggregate: return QStringLiteral("sum");
    case DisplayMode::Kind::pinned: return QStringLiteral("pin.fill");
    case DisplayMode::Kind::followFocus: break;
    }
    return QStringLiteral("scope");
}

QVariantList scopeMenu(const DisplayMode &current)
{
    QVariantList entries;
    const auto add = [&](const QString &section, const DisplayMode &mode) {
        entries.append(QVariantMap{{QStringLiteral("section"), section},
                                   {QStringLiteral("title"), mode.label()},
                                   {QStringLiteral("checked"), mode == current},
                                   {QStringLiteral("mode"), mode.rawValue()}});
    };
    add(QStringLiteral("Display"), DisplayMode::aggregate());
    add(QStringLiteral("Display"), DisplayMode::followFocus());
    for (const DisplayAgent agent : allDisplayAgents)
        add(QStringLiteral("Pin agent"), DisplayMode::pinned(agent));
    return entries;
}

void fillTokens(CompactBarContent &bar, const ScopedMetrics &scoped)
{
    const bool working = scoped.state == AgentState::working;
    const bool pending = working && scoped.sessionTotalTokens == 0 && scoped.contextTokens == 0;
    bar.sessionValue = pending ? ellipsis : DisplayFormat::tokens(scoped.sessionTotalTokens);
    bar.contextValue = pending ? ellipsis : DisplayFormat::tokens(scoped.contextTokens);
    bar.sessionHelp = QStringLiteral("Total token usage observed for this agent session. For Codex Desktop this is "
                                     "the cumulative thread usage, including cached replay.");
    bar.contextHelp = pending
        ? QStringLiteral("Codex is working; exact token counts arrive on response.completed.")
        : QStringLiteral("Current model context: latest request input plus latest visible response output. "
                         "Metered session usage: ")
              + DisplayFormat::tokens(scoped.sessionMeteredTokens) + QStringLiteral(", including ")
              + DisplayFormat::tokens(scoped.sessionCachedInput) + QStringLiteral(" cached input.");
}

void fillThroughput(CompactBarContent &bar, const ScopedMetrics &scoped, const QString &label)
{
    for (const QPointF &point : sparklinePoints(scoped.tpsHistory, QSizeF(1, 1)))
        bar.sparkPoints.append(point);
    bar.tpsLabel = DisplayFormat::tpsLabel(scoped.tps, scoped.state == AgentState::working);
    bar.sparkHelp = QStringLiteral("Exact output tokens/sec for ") + label
        + QStringLiteral(". Codex publishes exact token counts on completed response events; live turns show "
                         "streaming until counts land.");
}

void fillCost(CompactBarContent &bar, const ScopedMetrics &scoped)
{
    bar.costText = DisplayFormat::sessionCost(scoped.sessionCost, scoped.reportedSessionCost);
    const QString pricing = scoped.model.value_or(QStringLiteral("default model"))
        + QStringLiteral(" pricing: uncached input + cached input + output, USD per 1M tokens");
    bar.costHelp = scoped.reportedSessionCost
        ? QStringLiteral("The agent's own cost of this session. The estimate from ") + pricing + QStringLiteral(" is ")
              + DisplayFormat::money(scoped.sessionCost) + QStringLiteral(".")
        : QStringLiteral("Estimated API cost from ") + pricing + QStringLiteral(".");
    bar.modelVisible = scoped.model.has_value();
    bar.modelText = scoped.model.value_or(QString());
}

void fillEarnings(CompactBarContent &bar, const SlotSnapshot &slot)
{
    const bool paid = slot.earningsThisMonth > 0.0005;
    bar.earningsColor = paid ? QStringLiteral("green") : QStringLiteral("orange");
    bar.earningsText = paid ? QStringLiteral("+") + DisplayFormat::money(slot.earningsThisMonth) + QStringLiteral(" paid")
                            : DisplayFormat::money(slot.demoValueThisMonth) + QStringLiteral(" demo");
    bar.earningsHelp = paid
        ? QStringLiteral("Payable 50% developer share from webhook-confirmed paid campaigns this month.")
        : QStringLiteral("Non-payable demo or house-campaign value this month. Paid campaigns show as payable only "
                         "after webhook-confirmed paid serving.");
}

void fillSlot(CompactBarContent &bar, const SlotSnapshot &slot, bool showAds)
{
    bar.showAds = showAds;
    bar.slotShowsCreative = slot.currentCreative.has_value() && slot.gates.turnInFlight;
    if (bar.slotShowsCreative) {
        bar.slotId = slot.currentCreative->id;
        bar.slotText = slot.currentCreative->text;
        bar.slotIcon = slot.currentCreative->iconAsset;
    }
}

} // namespace

QList<QPointF> sparklinePoints(const QList<double> &values, QSizeF size)
{
    QList<QPointF> points;
    const qsizetype n = values.size();
    if (n < 2)
        return points;
    const double largest = *std::max_element(values.begin(), values.end());
    const double top = largest > 1 ? largest : 1;
    points.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        points.append(QPointF(size.width() * static_cast<double>(i) / static_cast<double>(n - 1),
                              size.height() * (1 - values[i] / top)));
    return points;
}

bool marqueeOverflows(double textWidth, double available) { return textWidth > available && textWidth > 0; }

CompactBarContent compactBarContent(const CompactBarInputs &inputs)
{
    const ScopedMetrics &scoped = inputs.scoped;
    CompactBarContent bar;
    bar.scopeLabel = DisplayFormat::scopeLabel(scoped.scope);
    bar.scopeIcon = scopeIcon(inputs.displayMode);
    bar.scopeHelp = QStringLiteral("What these stats cover. Click to change (follow focus, pin an agent, or aggregate).");
    bar.scopeMenu = scopeMenu(inputs.displayMode);
    bar.expandSymbol = inputs.expanded ? QStringLiteral("chevron.up") : QStringLiteral("chevron.down");
    bar.expandHelp = inputs.expanded ? QStringLiteral("Collapse dashboard") : QStringLiteral("Expand dashboard");
    bar.stateColor = stateColor(scoped.state);
    bar.stateLabel = DisplayFormat::stateLabel(scoped.state, scoped.stateText, scoped.elapsedInTurn);
    bar.stateHelp = bar.scopeLabel + stateHelpSuffix(scoped.state);
    fillTokens(bar, scoped);
    fillThroughput(bar, scoped, bar.scopeLabel);
    fillCost(bar, scoped);
    fillEarnings(bar, inputs.slot);
    fillSlot(bar, inputs.slot, inputs.showAds);
    const QDateTime now = inputs.now.isValid() ? inputs.now : QDateTime::currentDateTimeUtc();
    if (const auto limits = barLimitsFigure(scoped.planLimits, now)) {
        bar.limitsVisible = true;
        bar.limitsText = limits->text;
        bar.limitsFraction = limits->fraction;
        bar.limitsColor = limits->color;
        bar.limitsHelp = limits->help;
    }
    bar.pillText = inputs.permissionNeeded
        ? QStringLiteral("grant Accessibility for ") + inputs.targetDisplayName
        : QStringLiteral("waiting for ") + inputs.targetDisplayName + ellipsis;
    return bar;
}
