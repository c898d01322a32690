#include "App/Modes/AdReportMode.h"

#include "App/Core/AppPaths.h"
#include "App/Core/CommandLine.h"
#include "App/Modes/EventStoreTelemetry.h"
#include "App/Modes/ReportExport.h"

#include <algorithm>

namespace AdReportMode {

QDateTime windowStart(const QDateTime &now, std::optional<qint64> days)
{
    const qint64 shift = days ? 1 - std::max<qint64>(*days, 1) : -6;
    // Day arithmetic wraps silently past the calendar's range, so the target day is checked first.
    qint64 targetDay = 0;
    if (__builtin_add_overflow(now.date().toJulianDay(), shift, &targetDay) || !QDate::fromJulianDay(targetDay).isValid())
        return now;
    const QDateTime start = now.addDays(shift);
    return start.isValid() ? start : now;
}

QString resultLines(const AdPilotReport::Result &result)
{
    const AdPilotReport::Summary &s = result.summary;
    return QStringLiteral("markdown: ") + result.markdownPath + QStringLiteral("\njson: ") + result.jsonPath
           + QStringLiteral("\nspend: ") + QString::asprintf("$%.3f", s.grossSpend)
           + QStringLiteral("\ndeveloper share: ") + QString::asprintf("$%.3f", s.developerShare)
           + QStringLiteral("\ncompany share: ") + QString::asprintf("$%.3f", s.companyShare) + u'\n';
}

int run(std::optional<qint64> days, const AppEnvironment &environment)
{
    // Without its campaigns the report would value every event at $0.
    if (const std::optional<QString> error =
            AppPaths::seedIfMissing(QStringLiteral("campaigns"), QStringLiteral("json"), environment.campaignsFile()))
        return CommandLine::errorExit(*error);
    const QDateTime now = environment.clock->now().toLocalTime();
    const QDateTime since = windowStart(now, days);
    const AdPilotReport::Files files = ReportExport::supportFiles(environment);
    try {
        const AdPilotReport::Result result = AdPilotReport::generate(
            since, now, files, AdPilotReport::eventStoreTelemetry(files.eventsDatabase), now);
        CommandLine::printLines(resultLines(result));
        return 0;
    } catch (const AdPilotReport::ReportError &error) {
        return CommandLine::errorExit(error.description());
    }
}

} // namespace AdReportMode
