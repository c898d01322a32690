#pragma once

#include "Settings/SettingsTypes.h"
#include "Telemetry/MetricsScope.h"

#include <QByteArray>
#include <QString>

#include <optional>

// "--snapshot [--scope aggregate|claudeCode|codex|mock] [--json]": the metrics of one scope,
// from the running instance, else rebuilt from the event store.
namespace SnapshotMode {

struct Options {
    std::optional<MetricsScope> scope; // none: the instance's current scope
    bool json = false;
};

// The scope the HUD starts with for a display mode when no instance says otherwise.
MetricsScope startingScope(const DisplayMode &mode);

// Built from "events.sqlite" and "pricing.json" in the support directory; creates no file there
// (no database means no history).
QByteArray fromStore(const QString &supportDir, const MetricsScope &scope, bool json);

// Prints the snapshot; status 0.
int run(const Options &options, const QString &controlSocket, const QString &supportDir, const DisplayMode &displayMode);

} // namespace SnapshotMode
