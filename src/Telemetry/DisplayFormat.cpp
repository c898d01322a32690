#include "Telemetry/DisplayFormat.h"

#include <cmath>

namespace DisplayFormat {

QString tokens(qint64 count)
{
    if (count <= 999)
        return QString::number(count);
    if (count <= 999'999)
        return QString::asprintf("%.1fk", double(count) / 1000.0);
    return QString::asprintf("%.2fM", double(count) / 1'000'000.0);
}

QString money(double dollars)
{
    return dollars < 10 ? QString::asprintf("$%.3f", dollars) : QString::asprintf("$%.2f", dollars);
}

QString clock(double seconds)
{
    const qint64 whole = seconds > 0 && std::isfinite(seconds) ? qint64(seconds) : 0;
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

QString scopeLabel(const MetricsScope &scope)
{
    if (!scope.agent)
        return QStringLiteral("All Agents");
    switch (*scope.agent) {
    case DisplayAgent::claudeCode:
        return QStringLiteral("Claude Code");
    case DisplayAgent::codex:
        return QStringLiteral("Codex");
    case DisplayAgent::mock:
        return QStringLiteral("Mock");
    }
    return {};
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
