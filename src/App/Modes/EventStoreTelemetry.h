#pragma once

#include "Ads/AdPilotReport.h"

#include <QString>

namespace AdPilotReport {

// Reads the per-source report summaries from the event database at databasePath, opened for each
// report. A database that is missing or does not open gives no telemetry rows (and none is created).
TelemetryReader eventStoreTelemetry(const QString &databasePath);

} // namespace AdPilotReport
