#pragma once

#include "Telemetry/AgentEvent.h"

#include <QList>

#include <utility>

struct sqlite3;

// The "plan_limits" table of events.sqlite: the latest report of each (agent, limit family),
// merged over the one before, so a restart shows the last known limits.
namespace PlanLimitsTable {

// Creates the table when missing; false when the database refuses.
bool migrate(sqlite3 *db);
// Stores the report over the family's stored one; false when the row was refused.
bool upsert(sqlite3 *db, DisplayAgent agent, const PlanLimits &limits);
// Every stored report, oldest first; rows that no longer decode are skipped.
QList<std::pair<DisplayAgent, PlanLimits>> all(sqlite3 *db);

} // namespace PlanLimitsTable
