#pragma once

#include "Telemetry/MetricsScope.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>

#include <optional>

// One request to the running instance over its control socket: a single JSON line.
struct ControlRequest {
    enum class Command { raise, snapshot, claudeHook };

    Command command = Command::raise;
    std::optional<MetricsScope> scope; // snapshot only; none: the instance's current scope
    bool json = false;                 // snapshot only
    QJsonObject hook;                  // claudeHook only: the call's metadata (ClaudeHookMetadata)

    static ControlRequest raise() { return {}; }
    static ControlRequest snapshot(std::optional<MetricsScope> scope, bool json) { return {Command::snapshot, scope, json}; }
    static ControlRequest claudeHook(QJsonObject metadata) { return {Command::claudeHook, {}, false, std::move(metadata)}; }

    // The request line, ending in a newline.
    QByteArray toLine() const;
    // None for anything that is not a well-formed request.
    static std::optional<ControlRequest> parse(QByteArrayView line);

    bool operator==(const ControlRequest &) const = default;
};
