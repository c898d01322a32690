#pragma once

#include "Telemetry/FilePosition.h"

struct sqlite3;

// The "file_positions" table of events.sqlite: how far each transcript and rollout file has been
// counted, with what identified the file then.
namespace FilePositionTable {

// Creates the table when missing; false when the database refuses.
bool migrate(sqlite3 *db);
// Stores the position over the file's stored one; false when the row was refused.
bool upsert(sqlite3 *db, const FilePosition &position);
FilePositions all(sqlite3 *db);

} // namespace FilePositionTable
