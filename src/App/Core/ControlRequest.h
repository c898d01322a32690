#pragma once

#include "Telemetry/MetricsScope.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>

#include <optional>

// One request to the running instance over its control socket: a single JSON line.
struct ControlRequest {
    enum class Command { raise, snapshot, claudeHook, claudeStatus, importHistory, importStatus };

    Command command = Command::raise;
    std::optional<MetricsScope> scope; // snapshot only; none: the instance's current scope
    bool json = false;                 // snapshot only
    QJsonObject hook;                  // claudeHook only: the call's metadata (ClaudeHookMetadata)
    QJsonObject report;                // claudeStatus only: a ClaudeStatusReport
    std::optional<qint64> days;        // importHistory only: files written in the last N days

    static ControlRequest raise() { return {}; }
    static ControlRequest snapshot(std::optional<MetricsScope> scope, bool json) { return {Command::snapshot, scope, json}; }
    static ControlRequest claudeHook(QJsonObject metadata) { return {Command::claudeHook, {}, false, std::move(metadata)}; }
    static ControlRequest claudeStatus(QJsonObject report) { return {Command::claudeStatus, std::nullopt, false, {}, std::move(report)}; }
    static ControlRequest importHistory(std::optional<qint64> days) { return {Command::importHistory, std::nullopt, false, {}, {}, days}; }
    static ControlRequest importStatus() { return {Command::importStatus}; }

    // The request line, ending in a newline.
    QByteArray toLine() const;
    // None for anything that is not a well-formed request.
    static std::optional<ControlRequest> parse(QByteArrayView line);

    bool operator==(const ControlRequest &) const = default;
};
