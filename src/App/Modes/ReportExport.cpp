#include "App/Modes/ReportExport.h"

#include "App/Modes/EventStoreTelemetry.h"
#include "App/Modes/AdReportMode.h"

namespace ReportExport {

Outcome generate(const QDateTime &now, const AdPilotReport::Files &files,
                 const AdPilotReport::TelemetryReader &telemetry)
{
    try {
        const QDateTime since = AdReportMode::windowStart(now, std::nullopt);
        const AdPilotReport::Result result = AdPilotReport::generate(since, now, files, telemetry, now);
        return {{result.markdownPath, result.jsonPath},
                DialogTexts::reportExported(files.outputDir, result.summary.grossSpend, result.summary.developerShare)};
    } catch (const AdPilotReport::ReportError &error) {
        return {{}, DialogTexts::reportFailed(error.description())};
    }
}

Outcome generateNow(const AdPilotReport::Files &files)
{
    return generate(QDateTime::currentDateTime(), files, AdPilotReport::eventStoreTelemetry(files.eventsDatabase));
}

AdPilotReport::Files supportFiles(const AppEnvironment &environment)
{
    return {environment.adLedgerFile(),          environment.campaignsFile(),  environment.remoteAdEventsFile(),
            environment.remoteAdCreativesFile(), environment.eventsDatabase(), environment.reportsDir()};
}

} // namespace ReportExport
