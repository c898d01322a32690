#include "App/Core/ClaudeStatusLine.h"

#include "App/Core/CommandLine.h"
#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "Telemetry/DisplayFormat.h"

#include <QFile>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

namespace {

std::optional<double> number(const QJsonValue &value)
{
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

std::optional<LimitWindow> window(const QJsonValue &value, qint64 minutes)
{
    if (!value.isObject() || !value[QLatin1String("used_percentage")].isDouble())
        return std::nullopt;
    LimitWindow result{value[QLatin1String("used_percentage")].toDouble(), minutes, std::nullopt};
    if (value[QLatin1String("resets_at")].isDouble())
        result.resetsAt = QDateTime::fromSecsSinceEpoch(value[QLatin1String("resets_at")].toInteger(), Qt::UTC);
    return result;
}

std::optional<PlanLimits> planLimitsOf(const QJsonValue &rateLimits, const QDateTime &now)
{
    if (!rateLimits.isObject())
        return std::nullopt;
    PlanLimits result;
    result.limitId = QStringLiteral("claude");
    result.channel = QStringLiteral("statusLine");
    result.seenAt = now;
    result.primary = window(rateLimits[QLatin1String("five_hour")], fiveHourWindowMinutes);
    result.secondary = window(rateLimits[QLatin1String("seven_day")], weeklyWindowMinutes);
    return result;
}

QJsonValue optional(const std::optional<double> &value) { return value ? QJsonValue(*value) : QJsonValue(); }

} // namespace

std::optional<ClaudeStatusReport> ClaudeStatusReport::fromDocument(QByteArrayView document, const QDateTime &now)
{
    const QJsonObject object = QJsonDocument::fromJson(document.toByteArray()).object();
    const QString sessionId = object.value("session_id").toString();
    if (sessionId.isEmpty())
        return std::nullopt;
    ClaudeStatusReport report;
    report.sessionId = sessionId;
    const QJsonValue model = object.value("model");
    const QString modelId = model["id"].toString();
    if (!modelId.isEmpty())
        report.model = modelId;
    report.costUsd = number(object.value("cost")["total_cost_usd"]);
    const QJsonValue context = object.value("context_window");
    if (context["context_window_size"].isDouble())
        report.contextWindowSize = context["context_window_size"].toInteger();
    report.contextUsedPercent = number(context["used_percentage"]);
    report.sessionTokens = context["total_input_tokens"].toInteger() + context["total_output_tokens"].toInteger();
    report.limits = planLimitsOf(object.value("rate_limits"), now);
    return report;
}

QJsonObject ClaudeStatusReport::toJson() const
{
    return {{"sessionId", sessionId},
            {"model", model ? QJsonValue(*model) : QJsonValue()},
            {"costUsd", optional(costUsd)},
            {"contextWindowSize", contextWindowSize ? QJsonValue(*contextWindowSize) : QJsonValue()},
            {"contextUsedPercent", optional(contextUsedPercent)},
            {"sessionTokens", sessionTokens},
            {"limits", limits ? QJsonValue(limits->toJson()) : QJsonValue()}};
}

std::optional<ClaudeStatusReport> ClaudeStatusReport::fromJson(const QJsonObject &object)
{
    ClaudeStatusReport report;
    report.sessionId = object.value("sessionId").toString();
    if (report.sessionId.isEmpty())
        return std::nullopt;
    if (object.value("model").isString())
        report.model = object.value("model").toString();
    report.costUsd = number(object.value("costUsd"));
    if (object.value("contextWindowSize").isDouble())
        report.contextWindowSize = object.value("contextWindowSize").toInteger();
    report.contextUsedPercent = number(object.value("contextUsedPercent"));
    report.sessionTokens = object.value("sessionTokens").toInteger();
    if (object.value("limits").isObject()) {
        try {
            report.limits = PlanLimits::fromJson(object.value("limits").toObject());
        } catch (const DecodingError &) {
            return std::nullopt;
        }
    }
    return report;
}

namespace ClaudeStatusLine {

QString line(const ClaudeStatusReport &report, const ScopedMetrics *metrics, const QDateTime &now)
{
    QStringList parts{DisplayFormat::agentName(DisplayAgent::claudeCode)};
    if (metrics)
        parts << DisplayFormat::stateLabel(metrics->state, metrics->stateText, metrics->elapsedInTurn);
    // The agent's other sessions are not this one's.
    const SessionAgg *session = nullptr;
    if (metrics) {
        const auto found = std::find_if(metrics->sessions.begin(), metrics->sessions.end(),
                                        [&](const SessionAgg &each) { return each.sessionId == report.sessionId; });
        session = found == metrics->sessions.end() ? nullptr : &*found;
    }
    parts << QStringLiteral("session ") + DisplayFormat::tokens(std::max(session ? session->sessionTokens : 0, report.sessionTokens));
    // Claude Code's own figure needs no "est."; without one the estimate is all there is.
    if (report.costUsd || session)
        parts << DisplayFormat::sessionCost(session ? session->cost : 0, report.costUsd);
    std::optional<PlanLimits> limits = report.limits;
    if (metrics) {
        for (const AgentPlanLimits &agent : metrics->planLimits) {
            if (agent.agent == DisplayAgent::claudeCode)
                limits = limits ? limits->mergedOver(agent.shown) : agent.shown;
        }
    }
    if (limits) {
        const QString figure = DisplayFormat::limitLabel(*limits, now);
        if (!figure.isEmpty())
            parts << figure;
    }
    if (report.model)
        parts << *report.model;
    return parts.join(QStringLiteral(" \u00b7 "));
}

int run(const QString &controlSocket)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return CommandLine::errorExit(QStringLiteral("cannot read standard input"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto report = ClaudeStatusReport::fromDocument(input.readAll(), now);
    if (!report)
        return CommandLine::errorExit(QStringLiteral("standard input holds no Claude Code status document"));
    const QByteArray request = ControlRequest::claudeStatus(report->toJson()).toLine();
    // The instance answers with the whole line; a missing or slow one leaves the document's own.
    const std::optional<QByteArray> answer = ControlClient::send(controlSocket, request, instanceTimeoutMs);
    if (answer && !answer->isEmpty() && !answer->startsWith("error:"))
        CommandLine::printLines(QString::fromUtf8(*answer));
    else
        CommandLine::printLines(line(*report, nullptr, now) + u'\n');
    return 0;
}

} // namespace ClaudeStatusLine
