#include "App/Modes/EventStoreTelemetry.h"

#include "Persistence/EventStore.h"

#include <QFileInfo>

namespace AdPilotReport {

TelemetryReader eventStoreTelemetry(const QString &databasePath)
{
    return [databasePath](const QDateTime &since, const QDateTime &until) -> std::optional<QList<TelemetrySummary>> {
        if (!QFileInfo(databasePath).isFile())
            return std::nullopt;
        const std::unique_ptr<EventStore> store = EventStore::open(databasePath);
        if (!store)
            return std::nullopt;
        QList<TelemetrySummary> rows;
        for (const auto &[source, s] : store->reportSummaries(since, until)) {
            rows.append(TelemetrySummary{rawValue(source), s.sessions, s.tokenRows, s.toolCalls, s.inputTokens,
                                         s.outputTokens, s.cachedTokens, s.activeTurnSeconds, s.firstActivity,
                                         s.lastActivity});
        }
        return rows;
    };
}

} // namespace AdPilotReport
