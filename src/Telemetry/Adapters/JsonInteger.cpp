#include "Telemetry/Adapters/JsonInteger.h"

#include "Telemetry/Adapters/DecimalReading.h"

#include <cmath>
#include <limits>

std::optional<qint64> jsonInteger(const QJsonValue &value)
{
    if (value.isString())
        return DecimalReading::int64(value.toString().toLatin1());
    if (!value.isDouble())
        return std::nullopt;
    // Integers are held exactly, also beyond 2^53, and so are whole doubles within range.
    constexpr qint64 notWhole = std::numeric_limits<qint64>::min();
    if (const qint64 whole = value.toInteger(notWhole); whole != notWhole)
        return whole;
    const double truncated = std::trunc(value.toDouble());
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(truncated >= -limit && truncated < limit))
        return std::nullopt;
    return static_cast<qint64>(truncated);
}
