#pragma once

#include "Telemetry/CodexTelemetryHealth.h"
#include "Telemetry/ScopedMetrics.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What "--snapshot" prints for one scope: a status-bar line, or every field as JSON.
namespace SnapshotFormat {

using Health = CodexTelemetryHealth::Snapshot;

// One line in the HUD's formats, e.g.
// "Codex · Working… 1:15 · session 12.3k · context 4.1k · $0.042 est. · 42 tps · gpt-5.5";
// the Codex scope's line ends in the health's short text while Codex telemetry is not ready.
QString text(const ScopedMetrics &metrics, const Health &health);

// Every field under its name, todayTokens too, and the Codex health as "codexHealth"; times in
// ISO 8601 with milliseconds.
QJsonObject json(const ScopedMetrics &metrics, const Health &health);

// The health's fields: status, detail, menuDetail, configInstalled, otelListening,
// notifyAvailable, latestEventAt (null when none).
QJsonObject healthJson(const Health &health);

// The text line or the compact JSON document, ending in a newline.
QByteArray output(const ScopedMetrics &metrics, const Health &health, bool asJson);

// "aggregate", or the agent's raw value.
QString scopeName(const MetricsScope &scope);
// The inverse of scopeName; none for any other text.
std::optional<MetricsScope> scopeFromName(QStringView name);

} // namespace SnapshotFormat
