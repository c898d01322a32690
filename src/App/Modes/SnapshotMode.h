#pragma once

#include "Settings/SettingsTypes.h"
#include "Telemetry/MetricsScope.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// "--snapshot [--scope aggregate|claudeCode|codex|mock] [--json]": the metrics of one scope,
// from the running instance, else rebuilt from the event store.
namespace SnapshotMode {

struct Options {
    std::optional<MetricsScope> scope; // none: the instance's current scope
    bool json = false;
};

// Where a snapshot is read: the running instance's socket, else the support directory's files
// and the Codex config.
struct Files {
    QString controlSocket;
    QString supportDir;
    QString codexConfig;
};

// Built from "events.sqlite" and "pricing.json" in the support directory, with the Codex health
// of the config and the store (nothing listens without an instance); creates no file there.
QByteArray fromStore(const Files &files, const MetricsScope &scope, bool json);

// The running instance's Codex health, else the one the files give, as SnapshotFormat::healthJson.
QJsonObject codexHealth(const Files &files);

// Prints the snapshot; status 0.
int run(const Options &options, const Files &files, const DisplayMode &displayMode);

} // namespace SnapshotMode
