#include "App/Modes/SnapshotMode.h"

#include "App/Core/CommandLine.h"
#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "App/Core/SnapshotFormat.h"
#include "Persistence/EventStore.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QFileInfo>

namespace SnapshotMode {

MetricsScope startingScope(const DisplayMode &mode)
{
    return mode.kind == DisplayMode::Kind::pinned ? MetricsScope::of(mode.agent) : MetricsScope::aggregate();
}

QByteArray fromStore(const QString &supportDir, const MetricsScope &scope, bool json)
{
    const QString database = supportDir + QStringLiteral("/events.sqlite");
    const QString pricingFile = supportDir + QStringLiteral("/pricing.json");
    const PricingTable pricing = PricingTable::readOnly(pricingFile);
    const std::unique_ptr<EventStore> store =
        QFileInfo::exists(database) ? EventStore::open(database) : nullptr;
    MetricsEngine engine(pricing, store.get());
    engine.tick(QDateTime::currentDateTimeUtc()); // the turn clock of a replayed turn reads now
    return SnapshotFormat::output(engine.scoped(scope), json);
}

int run(const Options &options, const QString &controlSocket, const QString &supportDir, const DisplayMode &displayMode)
{
    const QByteArray request = ControlRequest::snapshot(options.scope, options.json).toLine();
    std::optional<QByteArray> answer = ControlClient::send(controlSocket, request);
    if (!answer || answer->isEmpty())
        answer = fromStore(supportDir, options.scope.value_or(startingScope(displayMode)), options.json);
    CommandLine::printLines(QString::fromUtf8(*answer));
    return 0;
}

} // namespace SnapshotMode
