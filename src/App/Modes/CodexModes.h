#pragma once

#include "App/Modes/SnapshotMode.h"

#include <QDateTime>
#include <QString>

// The command-line modes that inspect, install and revert the Codex configuration.
// Each prints its result on standard output and returns the process's exit status.
namespace CodexModes {

// The endpoint Codex is pointed at: Corvane's OTLP receiver.
inline constexpr char otlpEndpoint[] = "http://127.0.0.1:4318";

// "--codex-status": the five flags of the configuration file, one line each, then the telemetry
// health (of the running instance, else of the files) and the age of the last Codex event.
int runStatus(const SnapshotMode::Files &files);

// "--install-codex-config": writes the hook script for the socket, then the managed lines.
int runInstall(const QString &configPath, const QString &scriptPath, const QString &socketPath,
               const QDateTime &now);

// "--revert-codex-config": removes the managed lines.
int runRevert(const QString &configPath);

} // namespace CodexModes
