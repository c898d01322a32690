#pragma once

#include "Telemetry/CountedIdentity.h"
#include "Telemetry/FilePosition.h"

#include <span>

struct sqlite3;

// The "file_positions" table of events.sqlite: how far each transcript and rollout file has been
// counted, with what identified the file then; and "counted_identities", the digests of the lines
// and responses counted from them.
namespace FilePositionTable {

// Creates the tables when missing; false when the database refuses.
bool migrate(sqlite3 *db);
// Stores the position over the file's stored one; false when the row was refused.
bool upsert(sqlite3 *db, const FilePosition &position);
FilePositions all(sqlite3 *db);
// Adds the identities not held yet (their number to `added` when given); false when refused.
bool insertCounted(sqlite3 *db, std::span<const CountedIdentity> counted, qint64 *added = nullptr);
CountedIdentities countedIdentities(sqlite3 *db, qsizetype limit);

} // namespace FilePositionTable
