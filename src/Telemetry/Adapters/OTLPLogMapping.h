#pragma once

#include "Telemetry/AgentEvent.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>

#include <optional>

// Turns a Codex OTLP/HTTP JSON logs export into events, record by record. Only named metadata
// attributes are read; prompt text, deltas and tool input or output are never looked at.
namespace OTLPLogMapping {

// Events in record order; input that is not a usable export gives none. Records without a
// readable time are stamped with now.
QList<AgentEvent> events(const QByteArray &body, const QDateTime &now = QDateTime::currentDateTimeUtc());

// Nanoseconds since 1970 as a string or number; absent when unreadable, not positive or out of range.
std::optional<QDateTime> nanoDate(const QJsonValue &value);

} // namespace OTLPLogMapping
