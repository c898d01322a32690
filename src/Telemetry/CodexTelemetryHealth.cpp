#include "Telemetry/CodexTelemetryHealth.h"

#include <algorithm>
#include <cmath>

namespace {

CodexTelemetryHealth::Snapshot initialSnapshot()
{
    return CodexTelemetryHealth::evaluate({}, false, false, std::nullopt, {});
}

} // namespace

CodexTelemetryHealth::CodexTelemetryHealth(QObject *parent)
    : QObject(parent)
    , m_snapshot(initialSnapshot())
{
}

QString CodexTelemetryHealth::statusName(Status status)
{
    switch (status) {
    case Status::setupNeeded: return QStringLiteral("setupNeeded");
    case Status::configConflict: return QStringLiteral("configConflict");
    case Status::listenerDown: return QStringLiteral("listenerDown");
    case Status::restartNeeded: return QStringLiteral("restartNeeded");
    case Status::stale: return QStringLiteral("stale");
    case Status::ready: break;
    }
    return QStringLiteral("ready");
}

QString CodexTelemetryHealth::ageDescription(double seconds)
{
    const double s = std::round(seconds); // halves away from zero
    if (s < 2)
        return QStringLiteral("just now");
    const auto whole = static_cast<qint64>(s);
    if (whole < 60)
        return QStringLiteral("%1s ago").arg(whole);
    if (whole < 3600)
        return QStringLiteral("%1m ago").arg(whole / 60);
    return QStringLiteral("%1h ago").arg(whole / 3600);
}

CodexTelemetryHealth::Snapshot CodexTelemetryHealth::evaluate(const CodexConfigStatus &config,
                                                              bool otelListening, bool notifyListening,
                                                              const std::optional<QDateTime> &latestEventAt,
                                                              const QDateTime &now)
{
    Snapshot snapshot;
    snapshot.configInstalled = config.installed;
    snapshot.otelListening = otelListening;
    snapshot.notifyAvailable = config.notifyInstalled || config.foreignNotify || notifyListening;
    snapshot.latestEventAt = latestEventAt;
    const auto verdict = [&](Status status, QString detail, QString menuDetail) {
        snapshot.status = status;
        snapshot.detail = std::move(detail);
        snapshot.menuDetail = std::move(menuDetail);
        return snapshot;
    };

    if (config.foreignOtel)
        return verdict(Status::configConflict, QStringLiteral("foreign [otel]"),
                       QStringLiteral("Existing unmanaged [otel] config blocks Corvane install"));
    if (!config.installed)
        return verdict(Status::setupNeeded, QStringLiteral("configure Codex"),
                       QStringLiteral("Codex telemetry config is not installed"));
    if (!otelListening)
        return verdict(Status::listenerDown, QStringLiteral("4318 offline"),
                       QStringLiteral("Corvane is configured, but the local OTel listener is not active"));
    if (!latestEventAt)
        return verdict(Status::restartNeeded, QStringLiteral("restart Codex"),
                       QStringLiteral("Configured and listening; restart Codex if no events arrive"));

    const double age = std::max(0.0, static_cast<double>(latestEventAt->msecsTo(now)) / 1000.0);
    const QString ageText = ageDescription(age);
    return verdict(age > staleAfterSeconds ? Status::stale : Status::ready, QStringLiteral("last ") + ageText,
                   QStringLiteral("Configured and listening; latest Codex event was ") + ageText);
}

void CodexTelemetryHealth::refresh(const CodexConfigStatus &config, bool otelListening,
                                   bool notifyListening, const std::optional<QDateTime> &latestEventAt,
                                   const QDateTime &now)
{
    Snapshot next = evaluate(config, otelListening, notifyListening, latestEventAt, now);
    if (next == m_snapshot)
        return;
    m_snapshot = std::move(next);
    Q_EMIT snapshotChanged(m_snapshot);
}
