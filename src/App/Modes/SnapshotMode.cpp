#include "App/Modes/SnapshotMode.h"

#include "App/Core/CommandLine.h"
#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "App/Core/SnapshotFormat.h"
#include "Codex/CodexConfigWriter.h"
#include "Persistence/EventStore.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace SnapshotMode {

namespace {

// Reading only: no database means no history, and none is made.
std::unique_ptr<EventStore> openExisting(const Files &files)
{
    const QString database = files.supportDir + QStringLiteral("/events.sqlite");
    return QFileInfo::exists(database) ? EventStore::open(database) : nullptr;
}

CodexTelemetryHealth::Snapshot healthOf(const Files &files, const EventStore *store, const QDateTime &now)
{
    const std::optional<QDateTime> latest =
        store ? store->latestEventTimestamp(CodexTelemetryHealth::codexSources) : std::nullopt;
    return CodexTelemetryHealth::evaluate(CodexConfigWriter::status(files.codexConfig), false, false, latest, now);
}

} // namespace

QByteArray fromStore(const Files &files, const MetricsScope &scope, bool json)
{
    const PricingTable pricing = PricingTable::readOnly(files.supportDir + QStringLiteral("/pricing.json"));
    const std::unique_ptr<EventStore> store = openExisting(files);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    MetricsEngine engine(pricing, store.get());
    engine.tick(now); // the turn clock of a replayed turn reads now
    return SnapshotFormat::output(engine.scoped(scope), healthOf(files, store.get(), now), json);
}

QJsonObject codexHealth(const Files &files)
{
    const QByteArray request = ControlRequest::snapshot(MetricsScope::of(DisplayAgent::codex), true).toLine();
    if (const std::optional<QByteArray> answer = ControlClient::send(files.controlSocket, request)) {
        const QJsonObject health = QJsonDocument::fromJson(*answer).object().value("codexHealth").toObject();
        if (!health.isEmpty())
            return health;
    }
    const std::unique_ptr<EventStore> store = openExisting(files);
    return SnapshotFormat::healthJson(healthOf(files, store.get(), QDateTime::currentDateTimeUtc()));
}

int run(const Options &options, const Files &files, const DisplayMode &displayMode)
{
    const QByteArray request = ControlRequest::snapshot(options.scope, options.json).toLine();
    std::optional<QByteArray> answer = ControlClient::send(files.controlSocket, request);
    if (!answer || answer->isEmpty())
        answer = fromStore(files, options.scope.value_or(displayMode.startingScope()), options.json);
    CommandLine::printLines(QString::fromUtf8(*answer));
    return 0;
}

} // namespace SnapshotMode
