#pragma once

#include "Telemetry/CountedIdentity.h"
#include "Telemetry/FilePosition.h"
#include "Telemetry/StoredAgentEvent.h"

#include <optional>
#include <span>

// Where imported history goes: events, the positions they were read up to and the identities
// of what they counted, together.
class HistorySink {
public:
    virtual ~HistorySink() = default;
    // Stores all three in one transaction; the number of new event rows (copies of rows already
    // held are not added), or none when nothing was stored.
    virtual std::optional<qint64> importBatch(std::span<const StoredAgentEvent> events,
                                              std::span<const FilePosition> positions,
                                              std::span<const CountedIdentity> counted) = 0;
    // How far each file has been counted.
    virtual FilePositions filePositions() const = 0;
    // The identities counted so far, at most `limit` of them.
    virtual CountedIdentities countedIdentities(qsizetype limit) const = 0;
    // The largest stored snapshot of a session (cumulative counts the live channel has counted).
    virtual std::optional<SessionSnapshot> latestSnapshot(AgentSource source, const QString &session) const = 0;
};
