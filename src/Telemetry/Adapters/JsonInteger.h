#pragma once

#include <QJsonValue>
#include <QtGlobal>

#include <optional>

// The integer a count in an agent's JSON carries: a number as is, a fraction truncated toward
// zero, or a decimal string (optional sign, ASCII digits only, as OTLP sends "intValue").
// None for anything else, and for a value outside the signed 64-bit range.
std::optional<qint64> jsonInteger(const QJsonValue &value);

// A token count or duration: the integer, or 0 when it is missing or unreadable.
inline qint64 jsonCount(const QJsonValue &value)
{
    return jsonInteger(value).value_or(0);
}
