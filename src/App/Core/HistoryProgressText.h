#pragma once

#include "Telemetry/Adapters/HistoryImport.h"

#include <QString>

// The history import's progress as the dashboard says it: "Importing history… 42 % (120 of 300
// files)" while it runs, why it stopped when the store refused it, and nothing once it is done.
QString historyProgressText(const HistoryImport::Progress &progress);
