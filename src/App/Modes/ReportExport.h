#pragma once

#include "Ads/AdPilotReport.h"
#include "App/Core/AppEnvironment.h"
#include "App/Modes/DialogTexts.h"

#include <QDateTime>
#include <QStringList>

// "Export Ad Pilot Report…": the last six days up to now, written to the reports directory.
namespace ReportExport {

struct Outcome {
    QStringList reveal; // the Markdown and JSON files; empty after a failure
    AlertText alert;
};

// Generates the report over [now − 6 days, now] and says what to reveal and show.
Outcome generate(const QDateTime &now, const AdPilotReport::Files &files,
                 const AdPilotReport::TelemetryReader &telemetry);

// The same up to the current time.
Outcome generateNow(const AdPilotReport::Files &files);

// The report's inputs in the support directory and its Reports directory for output.
AdPilotReport::Files supportFiles(const AppEnvironment &environment);

} // namespace ReportExport
