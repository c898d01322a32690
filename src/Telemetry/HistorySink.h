#pragma once

#include "Telemetry/FilePosition.h"
#include "Telemetry/StoredAgentEvent.h"

#include <optional>
#include <span>

// Where imported history goes: events and the positions they were read up to, together.
class HistorySink {
public:
    virtual ~HistorySink() = default;
    // Stores the events and the positions in one transaction; the number of new rows (copies of
    // rows already held are not added), or none when nothing was stored.
    virtual std::optional<qint64> importBatch(std::span<const StoredAgentEvent> events,
                                              std::span<const FilePosition> positions) = 0;
    // How far each file has been counted.
    virtual FilePositions filePositions() const = 0;
};
