#pragma once

#include "Telemetry/Adapters/HistoryImport.h"
#include "Telemetry/FilePosition.h"
#include "Telemetry/HistorySink.h"

#include <functional>
#include <memory>

// What a file-reading adapter needs to count its files' history and keep their read positions.
struct HistoryLink {
    FilePositions known; // as the store holds them at start
    // A store connection of the adapter's own, opened and used on the adapter's thread; null
    // when it cannot be opened (then nothing is imported).
    std::function<std::unique_ptr<HistorySink>()> openSink;
    // Called on the bus's thread once the events read up to the position are stored, with the
    // identities of what they counted.
    std::function<void(const FilePosition &position, const CountedIdentities &counted)> savePosition;
    // Called from the adapter's thread after each import step.
    std::function<void(const HistoryImport::Progress &progress)> onProgress;
};
