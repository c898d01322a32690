#pragma once

#include "App/Core/AppEnvironment.h"
#include "Telemetry/Adapters/HistoryImport.h"

#include <QString>

#include <optional>

// "--import-history [--days N]": counts the Claude Code transcripts and Codex rollout files not
// yet in the store, newest first, as the running instance does at start. A running instance is
// asked to do it; otherwise it runs here, in the foreground. Idempotent: what is counted stays
// counted, and a second run adds nothing.
namespace ImportHistoryMode {

// The line the progress is shown with: a bar on a terminal, plain text otherwise.
QString progressLine(const HistoryImport::Progress &progress, bool terminal);
// What was imported, as printed at the end.
QString summaryLine(const HistoryImport::Progress &progress);

// days: only files written in the last N days (none: all history). Status 0, or 1 with an error line.
int run(const std::optional<qint64> &days, const AppEnvironment &environment);

} // namespace ImportHistoryMode
