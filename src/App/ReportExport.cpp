#include "App/ReportExport.h"

#include "Ads/EventStoreTelemetry.h"
#include "App/AdReportMode.h"
#include "App/AlertDialog.h"
#include "App/AppPaths.h"
#include "Platform/Desktop.h"

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

void run(Desktop &desktop)
{
    const AdPilotReport::Files files{AppPaths::adLedgerFile(),       AppPaths::campaignsFile(),
                                     AppPaths::remoteAdEventsFile(), AppPaths::remoteAdCreativesFile(),
                                     AppPaths::eventsDatabase(),     AppPaths::reportsDir()};
    const Outcome outcome =
        generate(QDateTime::currentDateTime(), files, AdPilotReport::eventStoreTelemetry(files.eventsDatabase));
    if (!outcome.reveal.isEmpty())
        desktop.revealFiles(outcome.reveal);
    AlertDialog::ask(outcome.alert);
}

} // namespace ReportExport
