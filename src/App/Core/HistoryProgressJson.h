#pragma once

#include "Telemetry/Adapters/HistoryImport.h"

#include <QJsonObject>

#include <optional>

// A history import's progress as the control socket carries it.
namespace HistoryProgressJson {

QJsonObject toJson(const HistoryImport::Progress &progress);
// None when the object is not a progress report.
std::optional<HistoryImport::Progress> fromJson(const QJsonObject &object);

} // namespace HistoryProgressJson
