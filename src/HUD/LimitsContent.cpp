#include "HUD/LimitsContent.h"

#include "Telemetry/DisplayFormat.h"

#include <algorithm>

namespace {

double usedOf(const std::optional<LimitWindow> &window) { return window ? window->usedPercent : 0; }

QString colorFor(double used, bool reached)
{
    if (reached || used >= 100)
        return QStringLiteral("red");
    return used >= 80 ? QStringLiteral("orange") : QStringLiteral("secondary");
}

double fraction(double used) { return std::clamp(used / 100.0, 0.0, 1.0); }

QString windowText(const std::optional<LimitWindow> &window, const QString &name, const QDateTime &now)
{
    return window ? DisplayFormat::windowLabel(*window, name, now) : name + QStringLiteral(" unknown");
}

} // namespace

std::optional<LimitsFigure> barLimitsFigure(const QList<AgentPlanLimits> &agents, const QDateTime &now)
{
    const AgentPlanLimits *chosen = nullptr;
    for (const AgentPlanLimits &agent : agents) {
        const PlanLimits current = agent.shown.at(now);
        if (!current.primary && !current.secondary && !current.reached())
            continue;
        const auto pressure = [&](const AgentPlanLimits &a) { const auto c = a.shown.at(now); return c.reached() ? 1000.0 : usedOf(c.primary); };
        if (!chosen || pressure(agent) > pressure(*chosen))
            chosen = &agent;
    }
    if (!chosen)
        return std::nullopt;
    const PlanLimits current = chosen->shown.at(now);
    const double used = current.reached() ? 100 : usedOf(current.primary ? current.primary : current.secondary);
    LimitsFigure figure{DisplayFormat::limitLabel(current, now), fraction(used), colorFor(used, current.reached()), {}};
    figure.help = DisplayFormat::agentName(chosen->agent) + QStringLiteral(" plan usage: ")
        + windowText(current.primary, QStringLiteral("5h"), now) + QStringLiteral("; ")
        + windowText(current.secondary, QStringLiteral("7d"), now)
        + QStringLiteral(". A window whose reset time has passed reads 0 % until the agent reports again.");
    return figure;
}

QVariantList limitsTiles(const QList<AgentPlanLimits> &agents, const QDateTime &now)
{
    QVariantList tiles;
    for (const AgentPlanLimits &agent : agents) {
        const PlanLimits current = agent.shown.at(now);
        const double worst = std::max(usedOf(current.primary), usedOf(current.secondary));
        const QString value = current.reached() ? DisplayFormat::limitLabel(current, now)
                                                : windowText(current.primary, QStringLiteral("5h"), now);
        tiles.append(QVariantMap{{QStringLiteral("title"), DisplayFormat::agentName(agent.agent) + QStringLiteral(" limits")},
                                 {QStringLiteral("value"), value},
                                 {QStringLiteral("detail"), windowText(current.secondary, QStringLiteral("7d"), now)},
                                 {QStringLiteral("tint"), colorFor(worst, current.reached())},
                                 {QStringLiteral("gauges"), QVariantList{fraction(usedOf(current.primary)),
                                                                         fraction(usedOf(current.secondary))}}});
    }
    return tiles;
}
