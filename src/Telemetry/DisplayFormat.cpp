#include "Telemetry/DisplayFormat.h"

#include <cmath>

namespace DisplayFormat {

QString tokens(qint64 count)
{
    if (count <= 999)
        return QString::number(count);
    if (count <= 999'999)
        return QString::asprintf("%.1fk", double(count) / 1e3);
    return QString::asprintf("%.2fM", double(count) / 1e6);
}

QString money(double dollars)
{
    return dollars < 10 ? QString::asprintf("$%.3f", dollars) : QString::asprintf("$%.2f", dollars);
}

QString sessionCost(double estimate, const std::optional<double> &reported)
{
    return reported ? money(*reported) : money(estimate) + QStringLiteral(" est.");
}

namespace {

// Also turns -0 into 0, which would otherwise print as "-0".
double atLeastZero(double value)
{
    return value > 0 ? value : 0;
}

} // namespace

// Times are split as doubles, so seconds beyond the 64-bit range still print.
QString clock(double seconds)
{
    const double whole = std::isfinite(seconds) ? atLeastZero(std::trunc(seconds)) : 0;
    return QString::asprintf("%.0f:%02.0f", std::floor(whole / 60), std::fmod(whole, 60));
}

QString duration(double seconds)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("-");
    const double whole = atLeastZero(std::round(seconds));
    if (whole >= 3600)
        return QString::asprintf("%.0fh %.0fm", std::floor(whole / 3600), std::floor(std::fmod(whole, 3600) / 60));
    if (whole > 59)
        return QString::asprintf("%.0fm %.0fs", std::floor(whole / 60), std::fmod(whole, 60));
    return QString::asprintf("%.0fs", whole);
}

QString agentName(DisplayAgent agent)
{
    switch (agent) {
    case DisplayAgent::claudeCode:
        return QStringLiteral("Claude Code");
    case DisplayAgent::codex:
        return QStringLiteral("Codex");
    case DisplayAgent::mock:
        break;
    }
    return QStringLiteral("Mock");
}

QString scopeLabel(const MetricsScope &scope)
{
    return scope.agent ? agentName(*scope.agent) : QStringLiteral("All Agents");
}

QString stateLabel(AgentState state, const std::optional<QString> &stateText, double elapsed)
{
    switch (state) {
    case AgentState::idle:
        return QStringLiteral("Idle");
    case AgentState::awaitingApproval:
        return QStringLiteral("Needs approval");
    case AgentState::working:
        break;
    }
    return stateText.value_or(QStringLiteral("Working\u2026")) + u' ' + clock(elapsed);
}

QString tpsLabel(double tps, bool working)
{
    if (working && tps == 0)
        return QStringLiteral("live");
    return QString::number(qint64(std::round(tps))) + QStringLiteral(" tps");
}

} // namespace DisplayFormat
